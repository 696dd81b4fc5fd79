#pragma once
// The update component: a check fetches the signed information file, compares its version
// with the running one and then asks, opens the publisher's page, or says nothing is newer.
// Every transfer goes through the download engine it derives from; failures are reported
// by events and, as ShowMessages allows, by message boxes in the user's language, never by
// exceptions to the caller.
//
// The engine's notifications (OnDone, OnHTTPError, OnServerUnreachable, OnConnectionLost,
// OnHTTPPasswordRequest, OnHeaderInfo, OnDownloadProgress) are this component's own: it
// assigns them at construction and a user must not replace them.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/MessageWindow_win.h"
#include "upgrade/UpdateHTTP_win.h"
#include "upgrade/Updater.h"
#include "upgrade/UpdaterMessage.h"

// Which built-in messages and dialogs appear; a clear flag keeps only the event.
enum TUpdaterShowMessage : uint8_t {
    mAskUpgrade = 1,
    mConnLost = 2,
    mHostUnreachable = 4,
    mLostFile = 8,
    mNoInfoFile = 16,
    mNoUpdateAvailable = 32,
    mPasswordRequest = 64,
};
using TUpdaterShowMessages = uint8_t;
constexpr TUpdaterShowMessages AllUpdaterShowMessages = 127;

enum TMiscFilesUpgrade { mfuAlwaysDownload, mfuOnlyIfSizeDifferent };

// What the publisher puts in the information file; a check never reads it.
struct TUpdaterInfo {
    std::vector<std::string> Files;
    TUpgradeMethod UpgradeMethod = umSelfUpgrade;
    std::string UpgradeMsg;
};

// The download wizard's options. The language is the whole process's: setting it chooses
// the messages every updater speaks.
class TUpdaterWizard {
public:
    TUpdaterWizard();
    bool Enabled = true;
    bool HideFileLocation = false;
    bool StayOnTop = true;
    // The picture of the wizard's left panel, 118 x 218 (not owned); null: the built-in one.
    HBITMAP Pic118x218 = nullptr;
    TWizardLanguage Language() const { return FLanguage; }
    void SetLanguage(TWizardLanguage Value);

private:
    TWizardLanguage FLanguage = wlAuto;
};

class TUpdaterMessageForm;

class TUpdater : public TUpdateHTTP {
public:
    // On the GUI thread: the automatic check's timer lives on the program's hidden window.
    explicit TUpdater(TComponent* AOwner = nullptr);
    ~TUpdater() override;

    bool AutoCheck() const { return FAutoCheck; }
    // Arms the automatic check's timer (10 s) unless this run of the program has had its
    // check; throws when the system has no timer left.
    void SetAutoCheck(bool Value);
    TUpdaterInfo InfoFile;
    std::string InfoFileURL = "http://";
    const std::string& RestartParams() const { return FRestartParams; }
    // An empty value is kept as one blank.
    void SetRestartParams(const std::string& Value);
    // Whether the stored settings carry RestartParams (only when it is not the default).
    bool StoresRestartParams() const;
    TMiscFilesUpgrade MiscFilesUpgrade = mfuAlwaysDownload;
    TVersionControl VersionControl = byDate;
    std::string VersionDate;  // MM/DD/YYYY, today's date at construction
    // Only a designer sets VersionDate from it; a running program has nothing to do.
    bool VersionDateAutoSet = true;
    std::string VersionNumber;
    TUpdaterShowMessages ShowMessages = mAskUpgrade | mConnLost | mLostFile | mPasswordRequest;
    TUpdaterWizard Wizard;
    // Whether the information file was signed by the maker; the release key by default.
    TSignatureCheck SignatureCheck;

    using TBeginUpgradeEvent =
        std::function<void(TObject* Sender, const std::string& UpgradeMsg, TUpgradeMethod UpgradeMethod,
                           const std::vector<std::string>& Files, bool& CanUpgrade)>;
    using THostUnreachableEvent =
        std::function<void(TObject* Sender, const std::string& URL, const std::string& Hostname)>;
    using TUpgradeEndEvent = std::function<void(TObject* Sender, bool& RestartImediately)>;
    using TUpgradeLostFileEvent = std::function<void(TObject* Sender, const std::string& FileURL,
                                                     int ErrorCode, bool& ContinueUpgrade)>;
    using TUpgradeFileStartEvent = std::function<void(TObject* Sender, const std::string& FileURL,
                                                      int FileSize, double FileTime, bool& CanUpgrade)>;
    using TUpgradeFileDoneEvent = std::function<void(TObject* Sender, const std::string& FileName)>;
    using TUpgradeProgressEvent = std::function<void(
        TObject* Sender, const std::string& FileURL, int FileSize, int BytesRead, int ElapsedTime,
        int EstimatedTimeLeft, uint8_t PercentsDone, uint8_t TotalPercentsDone, float TransferRate)>;

    TBeginUpgradeEvent OnBeginUpgrade;
    TNotifyEvent OnLaterUpgrade;
    TNotifyEvent OnNoUpdateAvailable;
    TNotifyEvent OnNoInfoFile;
    THostUnreachableEvent OnHostUnreachable;
    TNotifyEvent OnConnLost;
    TUpdateHTTPPasswordRequestEvent OnPasswordRequest;
    TNotifyEvent OnAfterRestart;
    // Of the download of the update's files, which follows BeginDownload.
    TUpgradeEndEvent OnEndUpgrade;
    TUpgradeProgressEvent OnProgress;
    TUpgradeFileStartEvent OnFileStart;
    TUpgradeFileDoneEvent OnFileDone;
    TUpgradeLostFileEvent OnLostFile;
    TNotifyEvent OnDoOwnCloseAppMethod;
    TNotifyEvent OnAborted;

    // Starts a check and returns at once; ignored while a transfer runs.
    void CheckUpdate();
    // Ends a check or a download: the transfer is stopped and the question closed.
    void Stop();
    // Called by the owner once it is loaded: OnAfterRestart when the program was started
    // with RestartParams as its first parameter.
    void AfterLoaded();

    // The information file the last check trusted, with its files' digests.
    const TUpgradeInfo& UpgradeInfo() const { return FUpgradeInfo; }
    // Whether the update's files are being fetched; whether the last update came through
    // to its end; whether the agent was started to install it.
    bool Downloading() const { return FDownloading; }
    bool UpgradeFinished() const { return FFinished; }
    bool RestartLaunched() const { return FRestartLaunched; }
    // Whether the current check is the automatic one, which keeps quiet about 24 and 26.
    bool SilentCheck() const { return FSilent; }
    // Whether the computer is connected to the Internet, by the dial-up state or else by
    // the local host's address.
    static bool InternetConnected();

protected:
    // The user agreed to a self-upgrade or an external setup of the trusted UpgradeInfo():
    // the files are fetched beside the program, shown in the wizard, checked against their
    // digests, and the agent is started to put them in place. Information mode is off when
    // it is called.
    virtual void BeginDownload();
    // Opens the page in the browser registered for ".html", else through the shell.
    virtual void OpenURL(const std::string& URL);
    // Asks the question; true for "Yes".
    virtual bool AskUpgrade(const std::string& UpgradeMsg);

private:
    void InfoDone(TStream* Body);
    void InfoNotFound();
    void HostUnreachable();
    void ConnectionLost();
    void PasswordRequest(const std::string& Realm, bool& TryAgain);
    void AutoCheckTick();
    // The download of the update's files, file by file (UpdaterDownload_win.cpp).
    void StartFile();
    void FileHeader(int64_t ContentLength, double LastModified, bool& Continue);
    void FileProgress(const TProgressFigures& Progress, int64_t BytesRead, int64_t ContentLength);
    void FileDone();
    void NextFile();
    // The file could not be had (ErrorCode: its HTTP status, or 0 when it was refused
    // here): the user may skip it, else the update is aborted.
    void LostFile(int ErrorCode);
    void FilesDone();
    void WizardClosed();
    void EndUpgrade();
    // Stops the update and removes every downloaded file.
    void AbortUpgrade();
    // Writes and starts the agent, then closes the program; false when the agent cannot
    // start, and the program stays.
    bool Restart();
    void ArmAutoCheck();
    // A standard error box: message 0 as caption, OK, owned by the application.
    void ErrorBox(const std::string& Text) const;

    bool FAutoCheck = false;
    std::string FRestartParams = "/afterupgrade";
    TUpgradeInfo FUpgradeInfo;
    bool FInfoMode = false;  // fetching the information file, not the update's files
    bool FSilent = false;
    bool FAutoCheckDone = false;
    bool FDownloading = false;  // fetching the update's files
    bool FAborted = false;
    bool FFinished = false;
    bool FRestartLaunched = false;
    size_t FFileIndex = 0;
    std::string FTarget;   // the current file's path, with ".uTMP"
    double FFileTime = 0;  // its Last-Modified, local; 0 when none came
    std::unique_ptr<TUpdaterMessageForm> FQuestion;
    TWindowTimer FAutoCheckTimer;
};
