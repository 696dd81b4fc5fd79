#pragma once
// An options form of its own for each test, with its settings and catalogue files in the
// temporary folder and the Run value cleared before and after.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

#include "app/Main_win.h"
#include "tests/support/WinTestApp_win.h"

using namespace wintest;

class OptionsForm : public ::testing::Test {
protected:
    void SetUp() override {
        App().ShowMainForm = true;
        errors.clear();
        App().OnException = [this](const std::string& m) { errors.push_back(m); };
        form = new TOptionsForm(&App());
        path = FreshTempPath("pelorin_form_settings.ini");
        RemoveDirectoryA(path.c_str());  // a test blocks the file with a folder of its name
        form->SettingsFile = path;
        catalogue = FreshTempPath("pelorin_form_categories.ini");
        form->CategoriesFile = catalogue;
        form->SetRunAtStartup(false);
    }
    void TearDown() override {
        form->SetRunAtStartup(false);
        delete form;
        DeleteFileA(path.c_str());
        RemoveDirectoryA(path.c_str());
        DeleteFileA(catalogue.c_str());
        App().OnException = nullptr;
    }
    void Write(const char* Key, const char* Value) {
        WritePrivateProfileStringA("Settings", Key, Value, path.c_str());
    }
    std::string Stored(const char* Key) {
        char buf[256];
        GetPrivateProfileStringA("Settings", Key, "<missing>", buf, sizeof(buf), path.c_str());
        return buf;
    }
    void Press(TButton* Button) { SendMessageA(Button->Handle(), BM_CLICK, 0, 0); }
    void WriteCatalogue(const std::string& Text) { std::ofstream(catalogue, std::ios::binary) << Text; }

    TOptionsForm* form = nullptr;
    std::string path;
    std::string catalogue;
    std::vector<std::string> errors;
};
