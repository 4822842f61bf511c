// A hidden window shared by every object of one kind in the process (all tray icons,
// all simple timers), reference-counted: the first Acquire() registers the class and
// creates the window, the last Release() destroys it. Window thread only.
#pragma once

#include <windows.h>

namespace tray {

class TSharedWindow {
 public:
  // messageOnly: a message-only window (no broadcasts, never foreground); otherwise a
  // hidden top-level tool window, which receives broadcasts and can take the
  // foreground for a popup menu.
  TSharedWindow(const wchar_t* className, WNDPROC windowProc, bool messageOnly);
  TSharedWindow(const TSharedWindow&) = delete;
  TSharedWindow& operator=(const TSharedWindow&) = delete;

  // Takes a reference; creates the window on the first one. Throws Exception when the
  // window cannot be created (no reference is taken then).
  HWND Acquire();
  // Drops a reference; destroys the window with the last one.
  void Release();

  HWND Handle() const { return FHandle; }
  int References() const { return FReferences; }

 private:
  const wchar_t* FClassName;
  WNDPROC FWindowProc;
  bool FMessageOnly;
  bool FRegistered = false;
  HWND FHandle = nullptr;
  int FReferences = 0;
};

}  // namespace tray
