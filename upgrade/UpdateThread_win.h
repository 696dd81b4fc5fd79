#pragma once
// The download engine's worker threads and their meeting point with the GUI thread.
#include <windows.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "upgrade/UpdateHTTP.h"

// One run's hand-over to the GUI thread. The worker hands work over through the one
// dispatcher and waits until it has run; Stop (GUI thread) ends the run for good: no work
// of it runs afterwards, and a waiting worker goes on at once.
class TUpdateRunGate : public std::enable_shared_from_this<TUpdateRunGate> {
public:
    // Worker thread: runs Fn on the GUI thread (guarded: what it throws is reported there)
    // and waits for it. False when the run was stopped, before or meanwhile.
    bool HandOver(std::function<void()> Fn);
    // GUI thread.
    void Stop();
    bool Stopped();

private:
    std::mutex FLock;
    std::condition_variable FWake;
    bool FStopped = false;
};

// Owns the workers: each run gets a new thread, created suspended, given the priority and
// resumed; so does the closing of a stopped run's handles. A new run does not wait for the
// one before (it has been stopped). The destructor
// waits a moment for the workers to end and ends those that do not: no worker outlives its
// owner.
class TUpdateThread {
public:
    TUpdateThread() = default;
    TUpdateThread(const TUpdateThread&) = delete;
    TUpdateThread& operator=(const TUpdateThread&) = delete;
    ~TUpdateThread();

    // Throws Exception when no thread can be made.
    void Run(std::function<void()> Body);

    TThreadPriority Priority() const;
    void SetPriority(TThreadPriority Value);

    // How long the destructor waits, in all, for stopped workers to end by themselves.
    static const DWORD ExitWaitMs = 2000;

private:
    void Prune();

    std::vector<HANDLE> FWorkers;  // the last one is the newest
    TThreadPriority FPriority = tpNormal;
};
