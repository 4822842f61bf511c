// Window timers (like a form's timer components): Interval in milliseconds, Enabled,
// and OnTimer run on the window thread inside the application's guard. All timers
// share the application's hidden window. An interval of 0 never fires.
#pragma once

#include <windows.h>

#include <functional>

namespace ui {

class TTimer {
 public:
  TTimer() = default;
  ~TTimer();
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;

  std::function<void()> OnTimer;

  UINT Interval() const { return FInterval; }
  void SetInterval(UINT milliseconds);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool enabled);

  // Runs the handler of the timer with this id; used by the hidden window.
  static void Dispatch(UINT_PTR id);

 private:
  void Update();
  UINT FInterval = 1000;
  bool FEnabled = false;
  UINT_PTR FId = 0;
};

}  // namespace ui
