#include "base/Dispatcher.h"

#include <atomic>
#include <cstdio>
#include <utility>

#include "base/Exception.h"

void TQueueDispatcher::Post(std::function<void()> Work) {
    std::lock_guard<std::mutex> hold(FLock);
    FQueue.push_back(std::move(Work));
}

int TQueueDispatcher::RunPending(int MaxSteps) {
    int n = 0;
    while (n < MaxSteps) {
        std::function<void()> step;
        {
            std::lock_guard<std::mutex> hold(FLock);
            if (FQueue.empty()) break;
            step = std::move(FQueue.front());
            FQueue.pop_front();
        }
        ++n;
        // Outside the lock: a step may post more work.
        if (step) RunGuarded(step);
    }
    return n;
}

size_t TQueueDispatcher::Pending() const {
    std::lock_guard<std::mutex> hold(FLock);
    return FQueue.size();
}

void TQueueDispatcher::Clear() {
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> hold(FLock);
        dropped.swap(FQueue);
    }
}

namespace {
std::atomic<TDispatcher*> Installed{nullptr};

TExceptionReporter& Reporter() {
    static TExceptionReporter reporter;
    return reporter;
}
}  // namespace

TQueueDispatcher& DefaultQueueDispatcher() {
    static TQueueDispatcher queue;
    return queue;
}

TDispatcher& Dispatcher() {
    TDispatcher* d = Installed.load();
    return d ? *d : DefaultQueueDispatcher();
}

void SetDispatcher(TDispatcher* D) { Installed.store(D); }

void SetExceptionReporter(TExceptionReporter Handler) { Reporter() = std::move(Handler); }

void ReportException(const std::exception& E) {
    try {
        if (Reporter()) {
            Reporter()(E);
            return;
        }
    } catch (...) {
        // The last resort must not throw into the message loop.
    }
    std::fprintf(stderr, "%s\n", E.what());
}

void ReportCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        ReportException(e);
    } catch (...) {
        ReportException(Exception("Unknown error"));
    }
}

bool RunGuarded(const std::function<void()>& Fn) { return Guarded(Fn); }
