#include "download/ProgressRelay.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace download::detail {

namespace {

constexpr UINT kRelayMessage = WM_APP + 1;
constexpr wchar_t kClassName[] = L"VornisDownloadRelay";

std::atomic<HWND> gRelay{nullptr};

LRESULT CALLBACK RelayProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kRelayMessage) return DefWindowProcW(window, message, wParam, lParam);
  std::unique_ptr<std::function<void()>> fn(reinterpret_cast<std::function<void()>*>(lParam));
  // Queued calls catch their own errors; nothing may escape into the dispatch.
  try {
    (*fn)();
  } catch (...) {
  }
  return 0;
}

}  // namespace

void CreateProgressRelay() {
  static std::once_flag created;
  std::call_once(created, [] {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &RelayProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassExW(&windowClass);
    gRelay = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             windowClass.hInstance, nullptr);
  });
}

bool PostToWindowThread(std::function<void()> fn) {
  HWND relay = gRelay;
  if (relay == nullptr) return false;
  auto* call = new std::function<void()>(std::move(fn));
  if (PostMessageW(relay, kRelayMessage, 0, reinterpret_cast<LPARAM>(call))) return true;
  delete call;
  return false;
}

}  // namespace download::detail
