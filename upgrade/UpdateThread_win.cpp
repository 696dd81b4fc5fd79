#include "upgrade/UpdateThread_win.h"

#include "base/Dispatcher.h"
#include "base/Exception.h"

bool TUpdateRunGate::HandOver(std::function<void()> Fn) {
    struct TJob {
        bool Done = false;
    };
    if (Stopped()) return false;
    auto job = std::make_shared<TJob>();
    auto self = shared_from_this();
    try {
        Dispatcher().Post([self, job, Fn = std::move(Fn)] {
            // Stop runs on this thread too, so the run cannot stop between this test and Fn.
            if (!self->Stopped()) Guarded(Fn);
            {
                std::lock_guard<std::mutex> hold(self->FLock);
                job->Done = true;
            }
            self->FWake.notify_all();
        });
    } catch (...) {
        // No GUI thread to reach: the run cannot report, so it ends.
        std::lock_guard<std::mutex> hold(FLock);
        FStopped = true;
        return false;
    }
    std::unique_lock<std::mutex> hold(FLock);
    FWake.wait(hold, [&] { return job->Done || FStopped; });
    return !FStopped;
}

void TUpdateRunGate::Stop() {
    {
        std::lock_guard<std::mutex> hold(FLock);
        FStopped = true;
    }
    FWake.notify_all();
}

bool TUpdateRunGate::Stopped() {
    std::lock_guard<std::mutex> hold(FLock);
    return FStopped;
}

namespace {
DWORD WINAPI WorkerEntry(LPVOID Param) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(Param));
    try {
        (*body)();
    } catch (...) {
        // The body reports its own failures; nothing may leave a thread.
    }
    return 0;
}
}  // namespace

TUpdateThread::~TUpdateThread() {
    const DWORD start = GetTickCount();
    for (HANDLE h : FWorkers) {
        const DWORD spent = GetTickCount() - start;
        // Stopped workers hold no lock of ours and touch only their own run, so one still
        // inside a blocking library call (closing its handles does not always cut a read
        // short) is ended here rather than left running past its owner.
        if (WaitForSingleObject(h, spent < ExitWaitMs ? ExitWaitMs - spent : 0) == WAIT_TIMEOUT)
            TerminateThread(h, 1);
        CloseHandle(h);
    }
}

void TUpdateThread::Run(std::function<void()> Body) {
    Prune();
    auto body = std::make_unique<std::function<void()>>(std::move(Body));
    DWORD id = 0;
    HANDLE h = CreateThread(nullptr, 0, WorkerEntry, body.get(), CREATE_SUSPENDED, &id);
    if (h == nullptr) throw Exception("Unable to start the download thread");
    body.release();
    SetThreadPriority(h, ThreadPriorityValue(FPriority));
    FWorkers.push_back(h);
    ResumeThread(h);
}

TThreadPriority TUpdateThread::Priority() const {
    if (!FWorkers.empty() && WaitForSingleObject(FWorkers.back(), 0) == WAIT_TIMEOUT)
        return ThreadPriorityOf(GetThreadPriority(FWorkers.back()));
    return FPriority;
}

void TUpdateThread::SetPriority(TThreadPriority Value) {
    FPriority = Value;
    if (!FWorkers.empty()) SetThreadPriority(FWorkers.back(), ThreadPriorityValue(Value));
}

void TUpdateThread::Prune() {
    std::vector<HANDLE> live;
    for (HANDLE h : FWorkers) {
        if (WaitForSingleObject(h, 0) == WAIT_OBJECT_0)
            CloseHandle(h);
        else
            live.push_back(h);
    }
    FWorkers.swap(live);
}
