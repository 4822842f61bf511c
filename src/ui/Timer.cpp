#include "ui/Timer.h"

#include <map>

#include "ui/Application.h"

namespace ui {

namespace {
std::map<UINT_PTR, TTimer*>& Timers() {
  static std::map<UINT_PTR, TTimer*> timers;
  return timers;
}
UINT_PTR gNextId = 1;
}  // namespace

TTimer::~TTimer() {
  if (FId) {
    KillTimer(Application().Handle(), FId);
    Timers().erase(FId);
  }
}

void TTimer::SetInterval(UINT milliseconds) {
  if (FInterval == milliseconds) return;
  FInterval = milliseconds;
  Update();
}

void TTimer::SetEnabled(bool enabled) {
  if (FEnabled == enabled) return;
  FEnabled = enabled;
  Update();
}

void TTimer::Update() {
  HWND window = Application().Handle();
  if (FId) {
    KillTimer(window, FId);
    Timers().erase(FId);
    FId = 0;
  }
  if (FEnabled && FInterval > 0 && OnTimer) {
    FId = gNextId++;
    Timers()[FId] = this;
    SetTimer(window, FId, FInterval, nullptr);
  }
}

void TTimer::Dispatch(UINT_PTR id) {
  auto it = Timers().find(id);
  if (it == Timers().end()) return;
  TTimer* timer = it->second;
  Application().Guard([timer] {
    if (timer->OnTimer) timer->OnTimer();
  });
}

}  // namespace ui
