// The version label under Wine: over this program's own version resource (the .rc beside
// this file), over a copy of it with a known size and date, and over files without one.
#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "app/verslab_win.h"

#include "tests/support/WinTestApp_win.h"

using namespace wintest;

namespace {

const LONGLONG CopySize = 30000000;

// A copy of this program padded to CopySize bytes and written at 2026-03-05 14:07:09 local
// time; empty when it could not be made.
std::string DatedCopy() {
    std::string path = FreshTempPath("pelorin_verslab_copy.exe");
    if (!CopyFileA(ExeFileName().c_str(), path.c_str(), FALSE)) return std::string();
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER size;
    size.QuadPart = CopySize;
    SYSTEMTIME local = {2026, 3, 4, 5, 14, 7, 9, 0};
    FILETIME localTime, written;
    bool ok = SetFilePointerEx(f, size, nullptr, FILE_BEGIN) && SetEndOfFile(f) &&
              SystemTimeToFileTime(&local, &localTime) && LocalFileTimeToFileTime(&localTime, &written) &&
              SetFileTime(f, nullptr, nullptr, &written);
    CloseHandle(f);
    return ok ? path : std::string();
}

class VersionLabel : public ::testing::Test {
protected:
    void SetUp() override { form = new TForm(&App()); }
    void TearDown() override { delete form; }
    TVersionLabel* NewLabel() { return new TVersionLabel(form, form, 8, 8); }
    TForm* form = nullptr;
};

TEST_F(VersionLabel, ShowsEachItemOfTheFile) {
    const std::string copy = DatedCopy();
    ASSERT_FALSE(copy.empty());
    // ",", "/" and ":" in the pictures stand for the user's separators.
    const TFormatSettings locale = LocaleFormatSettings();
    const int oneLine = (new TLabel(form, form, 0, 0, "x"))->Height();
    const struct {
        TVersionResources Resource;
        const char* LangCharset;  // null: the first translation
        const char* Key;          // null: the item's own
        bool Prefix;
        bool Copy;                   // the dated copy, else this program
        const char* DateTimeFormat;  // null: the default
        std::string Text;
        const char* LangCharsetAfter;  // null: not checked
    } cases[] = {
        {vrFileVersion, nullptr, nullptr, true, false, nullptr, "File Version: 1.2.3.4", "041904b0"},
        {vrCompanyName, nullptr, nullptr, false, false, nullptr, "Lab Works (ru)", "041904b0"},
        {vrCompanyName, "040904e4", nullptr, true, false, nullptr, "Company Name: Lab Works", "040904e4"},
        {vrFileDescription, nullptr, nullptr, true, false, nullptr,
         "File Description: < Error retrieving string version info >", nullptr},
        {vrComments, "040904e4", nullptr, false, false, nullptr, "< No Version Info >", nullptr},
        {vrShortFileVersion, nullptr, nullptr, true, false, nullptr, "v 1.02", nullptr},
        {vrFlags, nullptr, nullptr, true, false, nullptr, "Flags: Debug Build, Private Build", nullptr},
        {vrProductName, nullptr, "PrivateBuild", true, false, nullptr, "PrivateBuild lab", nullptr},
        {vrFileSize, nullptr, nullptr, true, true, nullptr,
         "File Size: 30" + locale.ThousandSeparator + "000" + locale.ThousandSeparator + "000 Bytes",
         nullptr},
        {vrDateTime, nullptr, nullptr, false, true, "M/d/yyyy",
         "3" + locale.DateSeparator + "5" + locale.DateSeparator + "2026", nullptr},
        {vrDateTime, nullptr, nullptr, false, true, "yyyy-mm-dd hh:nn:ss",
         "2026-03-05 14" + locale.TimeSeparator + "07" + locale.TimeSeparator + "09", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TVersionLabel* label = NewLabel();
        if (c.Copy) label->SetFilename(copy);
        if (c.LangCharset) label->SetLangCharset(c.LangCharset);
        label->SetVersionResource(c.Resource);
        if (c.Key) label->SetVersionResourceKey(c.Key);
        label->SetShowInfoPrefix(c.Prefix);
        if (c.DateTimeFormat) label->SetDateTimeFormat(c.DateTimeFormat);
        EXPECT_EQ(label->InfoString(), c.Text);
        EXPECT_EQ(label->Caption(), c.Text);
        if (c.LangCharsetAfter) {
            EXPECT_EQ(label->LangCharset(), c.LangCharsetAfter);
        }
        EXPECT_EQ(label->Height(), oneLine);
    }
    DeleteFileA(copy.c_str());
}

TEST_F(VersionLabel, FailuresShowAsText) {
    const std::string plain = FreshTempPath("pelorin_verslab_plain.txt");
    HANDLE f = CreateFileA(plain.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, "no version here", 15, &written, nullptr);
    CloseHandle(f);
    const std::string missing = FreshTempPath("pelorin_verslab_missing.exe");
    for (const std::string& file : {plain, missing}) {
        for (int r = vrCompanyName; r <= vrFileSize; ++r) {
            SCOPED_TRACE(file + " " + std::to_string(r));
            // From a file that has the information to one that has none.
            TVersionLabel* label = NewLabel();
            label->SetVersionResource(static_cast<TVersionResources>(r));
            label->SetShowInfoPrefix(false);
            label->SetFilename(file);
            EXPECT_EQ(label->InfoString(), "< No Data Available >");
        }
    }
    DeleteFileA(plain.c_str());

    // The date and size need the file opened while others may only read it: a writer that
    // shares writing keeps that open out, though the version resource still reads.
    const std::string copy = DatedCopy();
    ASSERT_FALSE(copy.empty());
    HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    for (TVersionResources r : {vrFileSize, vrDateTime}) {
        TVersionLabel* label = NewLabel();
        label->SetFilename(copy);
        label->SetVersionResource(r);
        EXPECT_EQ(label->InfoString(), label->InfoPrefix() + " <Error getting file handle>");
    }
    CloseHandle(writer);
    DeleteFileA(copy.c_str());
}

}  // namespace
