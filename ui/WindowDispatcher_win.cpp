#include "ui/WindowDispatcher_win.h"

#include <memory>

#include "base/Exception.h"

namespace {
// Carries one heap-allocated std::function<void()> in its LPARAM.
const UINT WM_DISPATCH = WM_APP + 1;
}  // namespace

TWindowDispatcher::TWindowDispatcher()
    : FShare([this](UINT Msg, WPARAM, LPARAM LParam, LRESULT& Result) {
          Result = 0;
          return Run(Msg, LParam);
      }) {
    FWindow = FShare.Handle();
}

TWindowDispatcher::~TWindowDispatcher() {
    std::set<std::function<void()>*> left;
    {
        std::lock_guard<std::mutex> hold(FLock);
        FWindow = nullptr;
        left.swap(FQueued);
    }
    // Nothing can be posted now: take our messages (one per piece of work) out of the
    // queue and free the work they carry.
    MSG msg;
    for (size_t i = 0; i < left.size(); ++i)
        if (!PeekMessageA(&msg, FShare.Handle(), WM_DISPATCH, WM_DISPATCH, PM_REMOVE)) break;
    for (std::function<void()>* work : left)
        delete work;
}

void TWindowDispatcher::Post(std::function<void()> Work) {
    auto work = std::make_unique<std::function<void()>>(std::move(Work));
    std::lock_guard<std::mutex> hold(FLock);
    if (!FWindow) throw Exception("Unable to post work to the GUI thread: the dispatcher is gone");
    FQueued.insert(work.get());
    if (!PostMessageA(FWindow, WM_DISPATCH, 0, reinterpret_cast<LPARAM>(work.get()))) {
        FQueued.erase(work.get());
        throw Exception("Unable to post work to the GUI thread");
    }
    work.release();
}

bool TWindowDispatcher::Run(UINT Msg, LPARAM LParam) {
    if (Msg != WM_DISPATCH) return false;
    std::unique_ptr<std::function<void()>> work;
    {
        std::lock_guard<std::mutex> hold(FLock);
        auto it = FQueued.find(reinterpret_cast<std::function<void()>*>(LParam));
        if (it == FQueued.end()) return true;
        work.reset(*it);
        FQueued.erase(it);
    }
    if (*work) RunGuarded(*work);
    return true;
}
