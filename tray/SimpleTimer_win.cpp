#include "tray/SimpleTimer_win.h"

TSimpleTimer::TSimpleTimer(TCallback Callback, TObject* Owner)
    : FCallback(std::move(Callback)), FOwner(Owner), FTimer([this] {
          if (FCallback) FCallback(this);
      }) {}

void TSimpleTimer::Start(unsigned Interval) {
    FInterval = Interval;
    FTimer.Start(Interval);
}
