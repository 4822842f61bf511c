#include "tray/SharedWindow.h"

#include "base/Exception.h"

namespace tray {

TSharedWindow::TSharedWindow(const wchar_t* className, WNDPROC windowProc, bool messageOnly)
    : FClassName(className), FWindowProc(windowProc), FMessageOnly(messageOnly) {}

HWND TSharedWindow::Acquire() {
  if (FReferences == 0) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!FRegistered) {
      WNDCLASSEXW windowClass{};
      windowClass.cbSize = sizeof(windowClass);
      windowClass.lpfnWndProc = FWindowProc;
      windowClass.hInstance = instance;
      windowClass.lpszClassName = FClassName;
      // A class left registered by an earlier module instance is just as good.
      if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        throw Exception("Cannot register the window class of the tray icon");
      }
      FRegistered = true;
    }
    HWND parent = FMessageOnly ? HWND_MESSAGE : nullptr;
    DWORD exStyle = FMessageOnly ? 0 : WS_EX_TOOLWINDOW;
    FHandle = CreateWindowExW(exStyle, FClassName, FClassName, WS_POPUP, 0, 0, 0, 0, parent,
                              nullptr, instance, nullptr);
    if (!FHandle) throw Exception("Cannot create the window of the tray icon");
  }
  ++FReferences;
  return FHandle;
}

void TSharedWindow::Release() {
  if (FReferences == 0) return;
  if (--FReferences == 0) {
    HWND handle = FHandle;
    FHandle = nullptr;
    DestroyWindow(handle);
  }
}

}  // namespace tray
