#pragma once
// Components are single-threaded: every event, timer tick and deferred step runs on the GUI
// thread, one at a time. Work that must run later on that thread (a component's deferred
// step, a worker thread's notification) goes in through Post, and only through Post.
// On Windows the platform layer installs a dispatcher that runs the work from the message
// loop; native tests use a TQueueDispatcher and run it by hand.
#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>

class TDispatcher {
public:
    virtual ~TDispatcher() = default;
    // Queues Work to run on the GUI thread after the current handler has returned, in the
    // order of posting. Safe to call from any thread.
    virtual void Post(std::function<void()> Work) = 0;
};

// A plain queue, run by hand: the dispatcher of native tests.
class TQueueDispatcher : public TDispatcher {
public:
    void Post(std::function<void()> Work) override;
    // Runs queued work in order, work queued meanwhile included, up to MaxSteps items;
    // returns how many ran. What a step throws goes to ReportException.
    int RunPending(int MaxSteps = 100000);
    size_t Pending() const;
    // Forgets queued work without running it.
    void Clear();

private:
    mutable std::mutex FLock;
    std::deque<std::function<void()>> FQueue;
};

// The program's dispatcher: the one installed, or else a process-wide TQueueDispatcher.
TDispatcher& Dispatcher();
// Installs D (null goes back to the built-in queue); the caller keeps it alive meanwhile.
void SetDispatcher(TDispatcher* D);
// The built-in queue, for tests that run posted work by hand.
TQueueDispatcher& DefaultQueueDispatcher();

// Where an error goes that no caller can catch (a handler's exception on the message loop,
// a socket's background exception, a posted step's failure): the application installs its
// message box; until then the text goes to stderr. The reporter itself never throws out.
using TExceptionReporter = std::function<void(const std::exception& E)>;
void SetExceptionReporter(TExceptionReporter Reporter);
void ReportException(const std::exception& E);
// Reports the exception being handled; only inside a catch block. One that is no
// std::exception is reported as "Unknown error".
void ReportCurrentException();

// Runs Fn; what it throws goes to ReportException. False when it threw.
template <typename F>
bool Guarded(F&& Fn) {
    try {
        Fn();
        return true;
    } catch (...) {
        ReportCurrentException();
    }
    return false;
}
bool RunGuarded(const std::function<void()>& Fn);
