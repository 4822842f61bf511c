// Helpers shared by the tray tests: pumping the window thread's messages until a
// condition holds, and playing the shell's part by sending notifications to the
// shared tray window.
#pragma once

#include <windows.h>

#include <functional>

#include "tray/SimpleTimer.h"
#include "tray/TrayIcon.h"

namespace traytest {

// Dispatches messages until done() holds; false if it still does not after a
// generous limit (a hang guard, not a measure of speed).
inline bool PumpUntil(const std::function<bool()>& done, DWORD limitMs = 10000) {
  const ULONGLONG deadline = GetTickCount64() + limitMs;
  while (!done()) {
    if (GetTickCount64() > deadline) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return true;
}

// What the shell sends when the user acts on the icon.
inline void Notify(const tray::TTrayIcon& icon, UINT event) {
  SendMessageW(tray::TTrayIcon::HandlerWindow(), tray::kTrayCallbackMessage, icon.IconId(), event);
}

// A plain top-level window for the main-window and owner roles.
inline HWND CreateTestWindow(HWND owner = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"TrayTestWindow";
    RegisterClassW(&windowClass);
    registered = true;
  }
  return CreateWindowExW(0, L"TrayTestWindow", L"Tray test", style, 100, 100, 300, 200, owner,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

}  // namespace traytest
