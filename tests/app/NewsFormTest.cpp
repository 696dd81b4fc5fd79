// The news refresh on the form under Wine, against loopback sockets: what a failed or
// stalled download leaves behind, and the one-download-at-a-time rule. The successful
// refresh is followed end to end, against the catalogue fixture.
#include <winsock2.h>

#include "base/Dispatcher.h"
#include "tests/app/OptionsFormFixture_win.h"

namespace {

// A loopback port that takes connections into its backlog and never answers.
class TSilentServer {
public:
    TSilentServer() {
        WSADATA wsa;
        WSAStartup(MAKEWORD(2, 2), &wsa);
        FSocket = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(FSocket, reinterpret_cast<sockaddr*>(&a), sizeof(a));
        listen(FSocket, 8);
        int len = sizeof(a);
        getsockname(FSocket, reinterpret_cast<sockaddr*>(&a), &len);
        Port = ntohs(a.sin_port);
    }
    ~TSilentServer() {
        closesocket(FSocket);
        WSACleanup();
    }
    // Connections made so far.
    int Accepted() {
        u_long nonBlocking = 1;
        ioctlsocket(FSocket, FIONBIO, &nonBlocking);
        int n = 0;
        for (SOCKET s; n < 16 && (s = accept(FSocket, nullptr, nullptr)) != INVALID_SOCKET; ++n)
            closesocket(s);
        return n;
    }
    int Port = 0;

private:
    SOCKET FSocket = INVALID_SOCKET;
};

int ClosedPort() {
    TSilentServer s;
    return s.Port;  // nothing listens there once it is gone
}

class NewsForm : public OptionsForm {
protected:
    void SetUp() override {
        OptionsForm::SetUp();
        dataFile = FreshTempPath("pelorin_form_data.txt");
        form->DataFile = dataFile;
    }
    void TearDown() override {
        DeleteFileA(dataFile.c_str());
        OptionsForm::TearDown();
    }
    void UseProxy(int Port) {
        form->chbUseProxy->SetChecked(true);
        form->edProxServer->SetText("127.0.0.1");
        form->edProxPort->SetText(std::to_string(Port));
    }
    std::string PopupText() const { return form->HTMLPopup1->Text.Text(); }
    bool PopupShown() const {
        return form->HTMLPopup1->Window() && IsWindowVisible(form->HTMLPopup1->Window()->Handle());
    }
    void ExpectIconAtRest() const {
        EXPECT_FALSE(form->ctIcon->CycleIcons());
        EXPECT_EQ(form->ctIcon->IconList(), nullptr);
    }
    std::string dataFile;
};

TEST_F(NewsForm, UnreachableProxyShowsTheFailurePopupAndLeavesLatestPopupOff) {
    UseProxy(ClosedPort());
    form->RefreshNews();
    EXPECT_TRUE(PopupShown());
    EXPECT_NE(PopupText().find("<B>Failed</B> : 404"), std::string::npos) << PopupText();
    EXPECT_TRUE(form->Timer->Enabled());
    EXPECT_FALSE(form->miShowLatestPopup->Enabled);
    ExpectIconAtRest();
    EXPECT_NE(GetFileAttributesA(dataFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(NewsForm, AStalledServerEndsInTheFailurePopupAndARefreshMeanwhileIsSkipped) {
    TSilentServer silent;
    UseProxy(silent.Port);
    form->HttpCli1->IdleTimeout = 600;
    int nested = 0;
    // Handled while the first download waits for an answer.
    Dispatcher().Post([&] {
        ++nested;
        form->RefreshNews();
        EXPECT_TRUE(form->ctIcon->CycleIcons());  // the running download still animates
    });
    form->RefreshNews();
    EXPECT_EQ(nested, 1);
    EXPECT_EQ(silent.Accepted(), 1);
    EXPECT_NE(PopupText().find("<B>Failed</B>"), std::string::npos) << PopupText();
    ExpectIconAtRest();
}

TEST_F(NewsForm, AnUnwritableDataFolderFallsBackToTheTemporaryFolder) {
    TSilentServer silent;
    UseProxy(silent.Port);
    form->HttpCli1->IdleTimeout = 200;
    form->DataFile = "Z:\\no\\such\\folder\\data.txt";
    form->RefreshNews();
    EXPECT_NE(form->DataFile.find("Pelorin"), std::string::npos) << form->DataFile;
    EXPECT_NE(GetFileAttributesA(form->DataFile.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(PopupShown());
    ExpectIconAtRest();
    DeleteFileA(form->DataFile.c_str());
}

TEST_F(NewsForm, PopupLinksCloseOrOpenTheConnectionPage) {
    form->HTMLPopup1->RollUp();
    form->Timer->SetEnabled(true);
    form->HTMLPopup1AnchorClick(nullptr, "Close");
    EXPECT_FALSE(PopupShown());
    EXPECT_FALSE(form->Timer->Enabled());
    EXPECT_FALSE(form->Visible());

    form->HTMLPopup1->RollUp();
    form->HTMLPopup1AnchorClick(nullptr, "settings");
    EXPECT_FALSE(PopupShown());
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(form->pcOptions->ActivePageIndex(), 1);
}

}  // namespace
