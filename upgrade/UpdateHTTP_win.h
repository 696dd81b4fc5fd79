#pragma once
// The self-update's download engine: one URL at a time over WinINet on a worker thread,
// every notification but OnStatusChanged and OnRedirected on the GUI thread.
//
// Threads: the settings and the events are GUI-thread members; Start copies what the
// worker needs into the run (TUpdateRun, in the .cpp), and the worker touches only that run,
// the two worker-thread events copied with it, and the GUI through its run's gate. The
// results below are read on the GUI thread, from a notification, while the worker waits.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Streams.h"
#include "upgrade/UpdateHTTP.h"
#include "upgrade/UpdateThread_win.h"
#include "upgrade/UpgradeUtils.h"

struct TUpdateRun;

class TUpdateHTTP : public TLoginComponent, public TUpdateHTTPSettings {
public:
    explicit TUpdateHTTP(TComponent* AOwner = nullptr);
    // Stops a run without notification and waits for its worker.
    ~TUpdateHTTP() override;

    // False while a run is in progress; otherwise starts one and returns at once.
    bool Start();
    // Stops the run at once: no notification of it arrives after this returns, and
    // OnTransferAborted fires when one was in progress.
    void Abort();
    // From Start until the worker has finished (false again in the completion handlers).
    bool Busy() const { return FBusy; }
    TThreadPriority ThreadPriority() const { return FThread.Priority(); }
    void SetThreadPriority(TThreadPriority Value) { FThread.SetPriority(Value); }

    // Results of the run being reported (GUI thread, inside a notification).
    int StatusCode() const;  // -1: no HTTP answer
    std::string ContentType() const;
    int64_t ContentLength() const;  // 0 when none was announced
    int64_t BytesRead() const;
    std::string RawHeaders() const;  // only when OnHeaderInfo is assigned
    // Date, Last-Modified and Expires reach OnHeaderInfo as local date-times (days since
    // 1899-12-30), 0 when absent or unreadable.

    using THeaderInfoEvent = std::function<void(
        TObject* Sender, int StatusCode, const std::string& RawHeaders, const std::string& ContentType,
        const std::string& ContentLanguage, const std::string& ContentEncoding, const std::string& Location,
        int64_t ContentLength, double Date, double LastModified, double Expires, bool& Continue)>;
    using TDoneEvent = std::function<void(TObject* Sender, const std::string& ContentType, TStream* Stream,
                                          int64_t BytesRead)>;
    using TDownloadProgressEvent =
        std::function<void(TObject* Sender, const std::string& ContentType, TStream* Stream,
                           const TProgressFigures& Progress, int64_t BytesRead, int64_t ContentLength)>;
    using TStatusChangedEvent =
        std::function<void(TObject* Sender, int StatusCode, const std::string& StatusText)>;
    using TRedirectedEvent = std::function<void(TObject* Sender, const std::string& NewURL)>;
    using TConnectionLostEvent =
        std::function<void(TObject* Sender, const std::string& ContentType, TStream* Stream,
                           int64_t BytesRead, int64_t ContentLength)>;
    using THTTPErrorEvent = std::function<void(TObject* Sender, int StatusCode, TStream* Stream)>;
    using TUpdateHTTPPasswordRequestEvent =
        std::function<void(TObject* Sender, const std::string& Realm, bool& TryAgain)>;
    using TUpdateHTTPProxyAuthenticationEvent = std::function<void(
        TObject* Sender, std::string& ProxyUsername, std::string& ProxyPassword, bool& TryAgain)>;

    THeaderInfoEvent OnHeaderInfo;
    TDoneEvent OnDone;
    TNotifyEvent OnSkipped;
    TDownloadProgressEvent OnDownloadProgress;
    TStatusChangedEvent OnStatusChanged;  // worker thread
    TRedirectedEvent OnRedirected;        // worker thread
    TNotifyEvent OnAnyError;
    TNotifyEvent OnTransferAborted;
    TConnectionLostEvent OnConnectionLost;
    TNotifyEvent OnServerUnreachable;
    THTTPErrorEvent OnHTTPError;
    TUpdateHTTPPasswordRequestEvent OnHTTPPasswordRequest;
    TUpdateHTTPProxyAuthenticationEvent OnProxyAuthenticationRequest;

private:
    void Work(const std::shared_ptr<TUpdateRun>& Run);
    void Transfer(TUpdateRun& Run);
    bool Authenticate(TUpdateRun& Run);
    void ReadHeaders(TUpdateRun& Run);
    void ReadBody(TUpdateRun& Run);
    void Complete(const std::shared_ptr<TUpdateRun>& Run);

    std::shared_ptr<TUpdateRun> FRun;  // the run in progress or being reported
    bool FBusy = false;
    TUpdateThread FThread;
};
