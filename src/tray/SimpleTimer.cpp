#include "tray/SimpleTimer.h"

#include "tray/SharedWindow.h"
#include "ui/Application.h"

#include <map>

namespace tray {

// The shared window of all simple timers: routes WM_TIMER by id to the live timer
// that owns the id, and keeps the count of running timers.
class TSimpleTimerHandler {
 public:
  static TSimpleTimerHandler& Get() {
    static TSimpleTimerHandler handler;
    return handler;
  }

  UINT_PTR Attach(TSimpleTimer* timer) {
    FWindow.Acquire();
    // Ids count up from 1 and are never reused, so a stale WM_TIMER cannot reach a
    // newer timer that happens to live at the same address.
    UINT_PTR identity = ++FLastIdentity;
    FTimers[identity] = timer;
    return identity;
  }

  void Detach(UINT_PTR identity) {
    FTimers.erase(identity);
    FWindow.Release();
  }

  HWND Handle() const { return FWindow.Handle(); }

  int FActiveCount = 0;

 private:
  TSimpleTimerHandler() : FWindow(L"TSimpleTimerHandler", WindowProc, true) {}

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
      auto& timers = Get().FTimers;
      auto found = timers.find(wParam);
      if (found != timers.end()) found->second->Fire();
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  TSharedWindow FWindow;
  std::map<UINT_PTR, TSimpleTimer*> FTimers;
  UINT_PTR FLastIdentity = 0;
};

TSimpleTimer::TSimpleTimer() : FIdentity(TSimpleTimerHandler::Get().Attach(this)) {}

TSimpleTimer::TSimpleTimer(UINT intervalMs, TTimerEvent onTimer) : TSimpleTimer() {
  FInterval = intervalMs;
  FOnTimer = std::move(onTimer);
}

TSimpleTimer::~TSimpleTimer() {
  Stop();
  TSimpleTimerHandler::Get().Detach(FIdentity);
}

bool TSimpleTimer::Start() {
  if (FInterval == 0) return false;
  if (FActive) Stop();
  auto& handler = TSimpleTimerHandler::Get();
  if (!SetTimer(handler.Handle(), FIdentity, FInterval, nullptr)) return false;
  FActive = true;
  ++handler.FActiveCount;
  return true;
}

bool TSimpleTimer::Stop() {
  auto& handler = TSimpleTimerHandler::Get();
  FActive = false;
  if (!KillTimer(handler.Handle(), FIdentity)) return false;
  if (handler.FActiveCount > 0) --handler.FActiveCount;
  return true;
}

void TSimpleTimer::SetInterval(UINT intervalMs) {
  FInterval = intervalMs;
  if (!FActive) return;
  if (intervalMs == 0) {
    Stop();
  } else {
    Start();
  }
}

void TSimpleTimer::SetOnTimer(TTimerEvent onTimer) {
  FOnTimer = std::move(onTimer);
  if (!FOnTimer && FActive) Stop();
}

void TSimpleTimer::Fire() {
  if (!FActive) return;
  if (FAutoDisable) Stop();
  // A copy, so the handler may replace OnTimer while it runs.
  TTimerEvent handler = FOnTimer;
  if (handler) ui::Application().Guard([&] { handler(*this); });
}

int TSimpleTimer::ActiveCount() {
  return TSimpleTimerHandler::Get().FActiveCount;
}

HWND TSimpleTimer::HandlerWindow() {
  return TSimpleTimerHandler::Get().Handle();
}

}  // namespace tray
