#include "upgrade/Updater_win.h"

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/Exception.h"
#include "base/StrUtils.h"
#include "http/Url.h"
#include "http/Winsock_win.h"
#include "ui/Forms_win.h"
#include "ui/Registry_win.h"
#include "upgrade/ReleaseKey.h"
#include "upgrade/Signature_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpdaterPassword_win.h"
#include "upgrade/UpdaterQuestion_win.h"
#include "upgrade/UpdaterWizard_win.h"
#include "upgrade/UpgradeFiles.h"
#include "upgrade/UpgradeFiles_win.h"
#include "upgrade/agent/AgentPlan.h"

namespace {
const unsigned kAutoCheckInterval = 10000;  // ms
const char kDefaultRestartParams[] = "/afterupgrade";

TVersionDate Today() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay};
}

std::string ApplicationTitle() { return Application ? Application->Title() : std::string(); }

// The browser's program from the registry, by the rules of the class of ".html"; "" when
// none is registered.
std::string RegisteredBrowser() {
    TRegistry reg(HKEY_CLASSES_ROOT);
    std::string fileClass, command;
    if (!reg.OpenKeyReadOnly(".html") || !reg.ReadString("", fileClass) || fileClass.empty()) return "";
    if (reg.OpenKeyReadOnly(fileClass + "\\shell\\open\\command")) {
        reg.ReadString("", command);
        return BrowserProgram(command);
    }
    if (!reg.OpenKeyReadOnly(fileClass + "\\shell")) return "";
    // The verbs in the registry's order: the first "open" of any spelling, else the first
    // with a command.
    std::vector<std::string> verbs;
    char name[256];
    for (DWORD i = 0; i < 1000; ++i) {
        DWORD size = sizeof name;
        if (RegEnumKeyExA(reg.CurrentKey(), i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        verbs.emplace_back(name, size);
    }
    auto commandOf = [&](const std::string& Verb) {
        std::string text;
        if (reg.OpenKeyReadOnly(fileClass + "\\shell\\" + Verb + "\\command")) reg.ReadString("", text);
        return text;
    };
    for (const std::string& verb : verbs)
        if (LowerCase(verb).find("open") != std::string::npos) return BrowserProgram(commandOf(verb));
    for (const std::string& verb : verbs) {
        const std::string text = commandOf(verb);
        if (!text.empty()) return BrowserProgram(text);
    }
    return "";
}
}  // namespace

TUpdaterWizard::TUpdaterWizard() { SetUpdaterLanguage(FLanguage); }

void TUpdaterWizard::SetLanguage(TWizardLanguage Value) {
    FLanguage = Value;
    SetUpdaterLanguage(Value);
}

TUpdater::TUpdater(TComponent* AOwner) : TUpdateHTTP(AOwner), FAutoCheckTimer([this] { AutoCheckTick(); }) {
    HideFileName = true;
    VersionDate = FormatVersionDate(Today());
    SignatureCheck = SignatureCheckFor(ReleasePublicKey());
    // An agent left by the update that started this run of the program has done its work.
    DeleteFileA(AgentPath().c_str());
    OnDone = [this](TObject*, const std::string&, TStream* Stream, int64_t) {
        if (FInfoMode)
            InfoDone(Stream);
        else if (FDownloading)
            FileDone();
    };
    OnHTTPError = [this](TObject*, int StatusCode, TStream*) {
        if (FInfoMode)
            InfoNotFound();
        else if (FDownloading)
            LostFile(StatusCode);
    };
    OnServerUnreachable = [this](TObject*) { HostUnreachable(); };
    OnConnectionLost = [this](TObject*, const std::string&, TStream*, int64_t, int64_t) { ConnectionLost(); };
    OnHTTPPasswordRequest = [this](TObject*, const std::string& Realm, bool& TryAgain) {
        PasswordRequest(Realm, TryAgain);
    };
    // An information file is small: one announced or grown beyond the cap is not read
    // into memory at all.
    OnHeaderInfo = [this](TObject*, int, const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, int64_t ContentLength, double,
                          double LastModified, double, bool& Continue) {
        if (FInfoMode && ContentLength > kInfoFileCap)
            Continue = false;
        else if (FDownloading)
            FileHeader(ContentLength, LastModified, Continue);
    };
    OnSkipped = [this](TObject*) {
        if (FInfoMode)
            InfoNotFound();
        else if (FDownloading)
            NextFile();
    };
    OnDownloadProgress = [this](TObject*, const std::string&, TStream*, const TProgressFigures& Progress,
                                int64_t BytesRead, int64_t ContentLength) {
        if (FInfoMode && BytesRead > kInfoFileCap) {
            Abort();
            InfoNotFound();
        } else if (FDownloading) {
            FileProgress(Progress, BytesRead, ContentLength);
        }
    };
}

TUpdater::~TUpdater() {
    BeginDestroy();
    // No notification may reach the half-destroyed component.
    Abort();
    SetAutoCheck(false);
}

void TUpdater::SetAutoCheck(bool Value) {
    FAutoCheck = Value;
    FAutoCheckTimer.Stop();
    if (FAutoCheck && !FAutoCheckDone) ArmAutoCheck();
}

void TUpdater::ArmAutoCheck() {
    if (!FAutoCheckTimer.Start(kAutoCheckInterval)) throw Exception("Not enough timers available");
}

void TUpdater::SetRestartParams(const std::string& Value) { FRestartParams = Value.empty() ? " " : Value; }

bool TUpdater::StoresRestartParams() const { return FRestartParams != kDefaultRestartParams; }

void TUpdater::CheckUpdate() {
    FSilent = false;
    if (Busy()) return;
    FInfoMode = true;
    URL = InfoFileURL;
    FileName.clear();
    // The information file always comes from the server; the user's cache setting is
    // back as soon as the run has taken its copy of the settings.
    const bool useCache = UseCache;
    UseCache = false;
    const bool started = Start();
    UseCache = useCache;
    if (!started) FInfoMode = false;
}

void TUpdater::Stop() {
    FInfoMode = false;
    FDownloading = false;
    Abort();
    TUpdaterWizardForm::CloseInstance();
    // A question still open closes as "Later"; its owner frees it when ShowModal returns.
    if (FQuestion) FQuestion->ModalResult = mrCancel;
}

void TUpdater::AfterLoaded() {
    if (OnAfterRestart && __argc > 1 && FRestartParams == __argv[1]) OnAfterRestart(this);
}

void TUpdater::InfoDone(TStream* Body) {
    FInfoMode = false;
    const std::string text = Body ? Body->ReadRest() : std::string();
    TUpgradeInfo info;
    if (!SignatureCheck || !ReadTrustedUpgradeInfo(text, SignatureCheck, info)) {
        InfoNotFound();
        return;
    }
    FUpgradeInfo = info;
    if (!OffersUpdate(info, VersionControl, VersionNumber, VersionDate, Today())) {
        Raise(OnNoUpdateAvailable, this);
        if (!FSilent && (ShowMessages & mNoUpdateAvailable)) ErrorBox(UpdaterMessage(umNoUpdate));
        return;
    }
    bool canUpgrade = true;
    Raise(OnBeginUpgrade, this, info.Message, info.Method, info.URLs(), canUpgrade);
    if (!canUpgrade || ((ShowMessages & mAskUpgrade) && !AskUpgrade(info.Message))) {
        Raise(OnLaterUpgrade, this);
    } else if (info.Method == umRedirectToURL) {
        OpenURL(info.Files.front().URL);
    } else {
        BeginDownload();
    }
}

void TUpdater::InfoNotFound() {
    FInfoMode = false;
    Raise(OnNoInfoFile, this);
    if (ShowMessages & mNoInfoFile) ErrorBox(UpdaterMessage(umNoInfoFile));
}

void TUpdater::HostUnreachable() {
    const std::string url = URL, host = ParseURL(UpdateURL(URL)).Host;
    Raise(OnHostUnreachable, this, url, host);
    if (FSilent) {
        // The automatic check tries again later in this run of the program.
        FAutoCheckDone = false;
        if (FAutoCheck) ArmAutoCheck();
    } else if (ShowMessages & mHostUnreachable) {
        ErrorBox(Format(UpdaterMessage(umHostUnreachable).c_str(), ("http://" + host).c_str()));
    }
    Stop();
}

void TUpdater::ConnectionLost() {
    Raise(OnConnLost, this);
    if (ShowMessages & mConnLost) ErrorBox(UpdaterMessage(umConnectionLost));
    Stop();
}

void TUpdater::PasswordRequest(const std::string& Realm, bool& TryAgain) {
    Raise(OnPasswordRequest, this, Realm, TryAgain);
    if (TryAgain || !(ShowMessages & mPasswordRequest)) return;
    std::string name;
    if (!UpdateFileName(UpdateURL(URL), name)) name = URL;
    TUpdaterPasswordForm dialog(nullptr);
    TryAgain = dialog.Execute(name, HTTPUsername, HTTPPassword);
    if (!TryAgain) AbortUpgrade();
}

void TUpdater::AutoCheckTick() {
    if (!FAutoCheck || !InternetConnected()) return;
    FAutoCheckDone = true;
    FAutoCheckTimer.Stop();
    CheckUpdate();
    FSilent = true;
}

bool TUpdater::AskUpgrade(const std::string& UpgradeMsg) {
    if (FQuestion) return false;  // one question at a time
    FQuestion = std::make_unique<TUpdaterMessageForm>(nullptr, ApplicationTitle(), UpgradeMsg);
    const bool yes = FQuestion->Ask();
    FQuestion.reset();
    return yes;
}

void TUpdater::OpenURL(const std::string& Address) {
    const std::string url = Address.find("://") == std::string::npos ? "http://" + Address : Address;
    const std::string browser = RegisteredBrowser();
    HWND desktop = GetDesktopWindow();
    if (!browser.empty())
        ShellExecuteA(desktop, "open", browser.c_str(), url.c_str(), nullptr, SW_SHOWNORMAL);
    else
        ShellExecuteA(desktop, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TUpdater::ErrorBox(const std::string& Text) const {
    MessageBoxA(Application ? Application->Handle() : nullptr, Text.c_str(),
                UpdaterMessage(umWizardCaption).c_str(), MB_OK | MB_ICONERROR);
}

bool TUpdater::InternetConnected() {
    TRegistry reg(HKEY_LOCAL_MACHINE);
    if (reg.OpenKeyReadOnly("System\\CurrentControlSet\\Services\\RemoteAccess")) {
        DWORD value = 0, size = sizeof value, type = 0;
        if (RegQueryValueExA(reg.CurrentKey(), "Remote Connection", nullptr, &type,
                             reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
            size == sizeof value)
            return value == 1;
    }
    // No dial-up state: connected when the local host has an address of the network.
    WinsockAddRef();
    struct Release {
        ~Release() { WinsockRelease(); }
    } release;
    try {
        char name[256] = {};
        if (WS(gethostname)(name, sizeof name - 1) != 0) return false;
        const hostent* he = WS(gethostbyname)(name);
        if (he == nullptr || he->h_length != 4 || he->h_addr_list == nullptr || he->h_addr_list[0] == nullptr)
            return false;
        int last = 0;
        while (he->h_addr_list[last + 1] != nullptr)
            ++last;
        in_addr address;
        std::memcpy(&address, he->h_addr_list[last], sizeof address);
        const std::string dotted = WinsockNtoA(address);
        return !dotted.empty() && dotted != "127.0.0.1";
    } catch (const std::exception&) {
        return false;
    }
}
