// TSimpleTimer: a light window-message timer that needs no window of its own. All
// simple timers of the process share one hidden message-only window, created with the
// first timer and destroyed with the last; each timer's id on that window is its own
// identity, and WM_TIMER is routed back to the object by that id.
//
// Not thread-safe: create, start, stop and destroy timers on the window thread, which
// is also where OnTimer runs (inside the application's guard). A timer never fires
// after Stop() or after its destruction, even if its message was already queued.
#pragma once

#include <windows.h>

#include <functional>

namespace tray {

class TSimpleTimer;
using TTimerEvent = std::function<void(TSimpleTimer& sender)>;

class TSimpleTimer {
 public:
  static constexpr UINT kDefaultInterval = 1000;

  TSimpleTimer();
  TSimpleTimer(UINT intervalMs, TTimerEvent onTimer);
  ~TSimpleTimer();
  TSimpleTimer(const TSimpleTimer&) = delete;
  TSimpleTimer& operator=(const TSimpleTimer&) = delete;

  // Starts (or restarts) the timer with the current interval. Refuses an interval of
  // 0 and returns false; also false when the window system refuses the timer.
  bool Start();
  // Stops the timer; returns whether a running window timer was killed.
  bool Stop();
  bool Active() const { return FActive; }

  UINT Interval() const { return FInterval; }
  // A running timer restarts with the new interval, or stops for 0.
  void SetInterval(UINT intervalMs);

  // When set, the timer stops itself before each OnTimer call (a one-shot timer).
  bool AutoDisable() const { return FAutoDisable; }
  void SetAutoDisable(bool autoDisable) { FAutoDisable = autoDisable; }

  const TTimerEvent& OnTimer() const { return FOnTimer; }
  // Setting no handler stops a running timer.
  void SetOnTimer(TTimerEvent onTimer);

  // The timer id on the shared window; unique among the live timers of the process.
  UINT_PTR Identity() const { return FIdentity; }

  // Number of simple timers currently running in the process.
  static int ActiveCount();
  // The shared window, or null while no simple timer exists.
  static HWND HandlerWindow();

 private:
  friend class TSimpleTimerHandler;
  void Fire();

  UINT_PTR FIdentity = 0;
  bool FAutoDisable = false;
  bool FActive = false;
  UINT FInterval = kDefaultInterval;
  TTimerEvent FOnTimer;
};

}  // namespace tray
