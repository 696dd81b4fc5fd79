// The options form's use of the update component: both commands start a check, through the
// options' proxy when "Use Proxy" is on, and the proxy's credentials answer a 407.
#include <gtest/gtest.h>

#include <windows.h>

#include "app/Main_win.h"

#include "tests/app/OptionsFormFixture_win.h"

namespace {

TEST_F(OptionsForm, CheckForUpdateGoesDirectOrThroughTheOptionsProxy) {
    // The check compares the version the "About" tab shows.
    EXPECT_EQ(form->Updater->VersionNumber, form->lbVersion->InfoString());
    EXPECT_NE(form->Updater->VersionNumber, "0.0.0.0");
    form->edProxServer->SetText(" proxy.example ");
    form->edProxPort->SetText("3128");
    const struct {
        bool useProxy;
        std::function<void()> command;
        TUpdateHTTPAccessType access;
    } cases[] = {
        {false, [this] { Press(form->btnCheckUpdates); }, atDirect},
        {true, [this] { Press(form->btnCheckUpdates); }, atUseProxy},
        {true, [this] { form->miCheckUpgrade->OnClick(form->miCheckUpgrade); }, atUseProxy},
    };
    for (const auto& c : cases) {
        form->chbUseProxy->SetChecked(c.useProxy);
        c.command();
        EXPECT_TRUE(form->Updater->Busy());
        // Stopped before any answer: nothing is shown.
        form->Updater->Stop();
        EXPECT_EQ(form->Updater->Proxy.AccessType, c.access);
    }
    EXPECT_EQ(form->Updater->Proxy.ProxyServer, "proxy.example");
    EXPECT_EQ(form->Updater->Proxy.ProxyPort, 3128);
}

TEST_F(OptionsForm, ProxyCredentialsAnswerTheUpdatersRequest) {
    form->edProxName->SetText("someone");
    form->edProxPass->SetText("secret");
    std::string user, password;
    bool tryAgain = false;
    form->Updater->OnProxyAuthenticationRequest(form->Updater, user, password, tryAgain);
    EXPECT_EQ(user, "someone");
    EXPECT_EQ(password, "secret");
    EXPECT_TRUE(tryAgain);
}

}  // namespace
