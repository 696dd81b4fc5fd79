// The update component after the user's "Yes": the files of the update downloaded beside
// the program under temporary names and checked against the signed digests, the wizard that
// shows it, the abort, and the agent that puts the files in place and starts the program.
#include <windows.h>

#include "base/StrUtils.h"
#include "ui/Forms_win.h"
#include "upgrade/UpdaterMessage_win.h"
#include "upgrade/UpdaterWizard_win.h"
#include "upgrade/Updater_win.h"
#include "upgrade/UpgradeFiles.h"
#include "upgrade/UpgradeFiles_win.h"
#include "upgrade/agent/AgentFiles_win.h"
#include "upgrade/agent/AgentPlan.h"

namespace {
HWND BoxOwner() { return Application ? Application->Handle() : nullptr; }

// The system's own words for its last error, in the user's language.
std::string LastErrorText() {
    char* text = nullptr;
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        GetLastError(), 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string result = n && text ? Trim(text) : std::string();
    if (text) LocalFree(text);
    return result;
}
}  // namespace

void TUpdater::BeginDownload() {
    FAborted = false;
    FFinished = false;
    FDownloading = true;
    FFileIndex = 0;
    // Only files of this update, each matching its signed digest, may reach the agent, which
    // installs every ".uTMP" beside the program: what an interrupted update left goes first.
    DeleteUpdateFiles(ExeDirectory());
    if (Wizard.Enabled) {
        TUpdaterWizardOptions options;
        options.HideFileLocation = Wizard.HideFileLocation;
        options.StayOnTop = Wizard.StayOnTop;
        options.Picture = Wizard.Pic118x218;
        TUpdaterWizardForm* wizard = TUpdaterWizardForm::Open(options);
        wizard->OnAbort = [this](TObject*) { AbortUpgrade(); };
        wizard->OnClosed = [this](TObject*) { WizardClosed(); };
    }
    StartFile();
}

void TUpdater::StartFile() {
    const std::vector<TUpdateFile>& files = FUpgradeInfo.Files;
    if (FFileIndex >= files.size()) {
        FilesDone();
        return;
    }
    const std::string& url = files[FFileIndex].URL;
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance())
        wizard->ShowFile(url, static_cast<int>(FFileIndex), static_cast<int>(files.size()));
    FFileTime = 0;
    std::string name;
    // A name that is no file beside the program ("..", a path, nothing) is never written.
    if (!UpdateFileName(url, name)) {
        LostFile(0);
        return;
    }
    FTarget = UpdateTargetPath(ExeDirectory(), name);
    URL = url;
    FileName = FTarget;
    if (!Start()) LostFile(0);
}

void TUpdater::FileHeader(int64_t ContentLength, double LastModified, bool& Continue) {
    FFileTime = LastModified;
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) wizard->ShowFileSize(ContentLength);
    const std::vector<TUpdateFile>& files = FUpgradeInfo.Files;
    if (MiscFilesUpgrade == mfuOnlyIfSizeDifferent) {
        const std::string installed = FTarget.substr(0, FTarget.size() - (sizeof UpdateFileSuffix - 1));
        std::string name, program;
        FileNameOf(installed, name);
        FileNameOf(ExeFileName(), program);
        WIN32_FILE_ATTRIBUTE_DATA data;
        const int64_t size = GetFileAttributesExA(installed.c_str(), GetFileExInfoStandard, &data)
                                 ? static_cast<int64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow
                                 : -1;
        Continue = SizeTestDownloads(static_cast<int>(files.size()), ContentLength, name, program, size);
    }
    Raise(OnFileStart, this, files[FFileIndex].URL, static_cast<int>(ContentLength), FFileTime, Continue);
}

void TUpdater::FileProgress(const TProgressFigures& Progress, int64_t BytesRead, int64_t ContentLength) {
    const int count = static_cast<int>(FUpgradeInfo.Files.size());
    const uint8_t total = TotalPercentsDone(static_cast<int>(FFileIndex), count, Progress.PercentsDone);
    Raise(OnProgress, this, FUpgradeInfo.Files[FFileIndex].URL, static_cast<int>(ContentLength),
          static_cast<int>(BytesRead), Progress.ElapsedTime, Progress.EstimatedTimeLeft,
          Progress.PercentsDone, total, Progress.TransferRate);
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance())
        wizard->ShowProgress(Progress.PercentsDone, total, Progress.TransferRate, Progress.EstimatedTimeLeft);
}

void TUpdater::FileDone() {
    const TUpdateFile& file = FUpgradeInfo.Files[FFileIndex];
    // What differs from what the signed information file promised is never installed.
    if (!file.HasSha256 || !FileMatchesDigest(FTarget, file.Sha256)) {
        SetFileAttributesA(FTarget.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(FTarget.c_str());
        LostFile(0);
        return;
    }
    if (FFileTime != 0) SetUpdateFileTime(FTarget, FFileTime);
    Raise(OnFileDone, this, FTarget);
    NextFile();
}

void TUpdater::NextFile() {
    ++FFileIndex;
    StartFile();
}

void TUpdater::LostFile(int ErrorCode) {
    const std::string url = FUpgradeInfo.Files[FFileIndex].URL;
    bool continueUpgrade = false;
    Raise(OnLostFile, this, url, ErrorCode, continueUpgrade);
    if (ShowMessages & mLostFile) {
        std::string name;
        if (!FileNameOf(url, name)) name = url;
        const std::string caption = UpdaterMessage(umError) + " #" + IntToStr(ErrorCode);
        continueUpgrade =
            MessageBoxA(BoxOwner(), Format(UpdaterMessage(umFileNotFound).c_str(), name.c_str()).c_str(),
                        caption.c_str(), MB_YESNO | MB_ICONEXCLAMATION) == IDYES;
    }
    // The wizard may have been closed (and the update aborted) while the question was up.
    if (!FDownloading) return;
    if (continueUpgrade)
        NextFile();
    else
        AbortUpgrade();
}

void TUpdater::FilesDone() {
    if (TUpdaterWizardForm* wizard = TUpdaterWizardForm::Instance()) {
        // The end follows when the user closes the completion page (WizardClosed).
        wizard->ShowCompletion();
        return;
    }
    EndUpgrade();
}

void TUpdater::WizardClosed() {
    if (FDownloading && !FAborted && FFileIndex >= FUpgradeInfo.Files.size()) EndUpgrade();
}

void TUpdater::EndUpgrade() {
    FDownloading = false;
    FFinished = true;
    bool restartImmediately = true;
    Raise(OnEndUpgrade, this, restartImmediately);
    if (restartImmediately) Restart();
}

void TUpdater::AbortUpgrade() {
    FAborted = true;
    Stop();
    DeleteUpdateFiles(ExeDirectory());
    Raise(OnAborted, this);
}

bool TUpdater::Restart() {
    const std::string agent = AgentPath();
    const bool external = FUpgradeInfo.Method == umUseExternalSetup;
    TWinAgentFiles files;
    // Without the agent nothing would put the files in place: the program stays rather than
    // close for nothing, and says why in the system's words.
    if (!WriteAgent(agent) ||
        !files.Start(QuotedCommandLine(agent, AgentArguments(ExeFileName(), FRestartParams, external)))) {
        const std::string why = LastErrorText();
        DeleteUpdateFiles(ExeDirectory());
        ErrorBox(agent + (why.empty() ? "" : "\r\r" + why));
        return false;
    }
    FRestartLaunched = true;
    if (OnDoOwnCloseAppMethod)
        OnDoOwnCloseAppMethod(this);
    else if (Application)
        Application->Terminate();
    return true;
}
