#include "ui/Application.h"

#include <commctrl.h>
#include <ole2.h>

#include "base/Exception.h"
#include "ui/Form.h"
#include "ui/Timer.h"

namespace ui {

namespace {

constexpr UINT kSynchronizeMessage = WM_APP + 0x100;
constexpr UINT kActivateFormMessage = WM_APP + 0x101;
constexpr UINT kPostedMessage = WM_APP + 0x102;
// Far above the ids TTimer hands out.
constexpr UINT_PTR kPostedTimer = 0x7FFF0001;
constexpr wchar_t kHiddenWindowClass[] = L"VornisApplication";

// One hand-off from a worker: the code to run and what it threw.
struct TSyncCall {
  const std::function<void()>* Fn;
  std::exception_ptr Error;
};

}  // namespace

TApplication& TApplication::Get() {
  static TApplication application;
  return application;
}

void TApplication::Initialize(HINSTANCE instance) {
  if (FHandle) return;
  FInstance = instance;
  FThreadId = GetCurrentThreadId();
  FOleJoined = SUCCEEDED(OleInitialize(nullptr));

  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_TAB_CLASSES |
                                                      ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS |
                                                      ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = HiddenWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, L"MAINICON");
  wc.lpszClassName = kHiddenWindowClass;
  RegisterClassExW(&wc);
  // The application window: never drawn (no size), it carries the program's taskbar
  // button under the title while the forms, owned by it, have none of their own. It
  // is a top-level window, so broadcasts reach it too.
  FHandle = CreateWindowExW(0, kHiddenWindowClass, FTitle.c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPSIBLINGS,
                            GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0,
                            0, nullptr, nullptr, instance, nullptr);
}

void TApplication::Finalize() {
  if (FOleJoined) OleUninitialize();
  FOleJoined = false;
}

bool TApplication::IsWindowThread() const {
  return GetCurrentThreadId() == FThreadId;
}

void TApplication::SetTitle(std::wstring title) {
  FTitle = std::move(title);
  if (FHandle) SetWindowTextW(FHandle, FTitle.c_str());
}

void TApplication::Run() {
  if (FMainForm) {
    ShowWindow(FHandle, SW_SHOWNOACTIVATE);
    FMainForm->Show();
  }
  MSG msg;
  while (!FTerminated) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) break;
    if (FilterMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  FTerminated = true;
}

void TApplication::Minimize() {
  // Minimising the owner hides the forms it owns; its taskbar button brings them back.
  ShowWindow(FHandle, SW_MINIMIZE);
}

void TApplication::Terminate() {
  FTerminated = true;
  PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (FilterMessage(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool TApplication::FilterMessage(const MSG& msg) {
  if (!OnMessage) return false;
  bool handled = false;
  Guard([&] { handled = OnMessage(msg); });
  return handled;
}

void TApplication::Synchronize(const std::function<void()>& fn) {
  if (IsWindowThread() || !FHandle) {
    fn();
    return;
  }
  TSyncCall call{&fn, nullptr};
  SendMessageW(FHandle, kSynchronizeMessage, 0, reinterpret_cast<LPARAM>(&call));
  if (call.Error) std::rethrow_exception(call.Error);
}

void TApplication::Post(std::function<void()> fn) {
  std::lock_guard<std::mutex> lock(FPostedLock);
  FPosted.push_back(std::move(fn));
  if (FPosted.size() == 1 && FHandle) PostMessageW(FHandle, kPostedMessage, 0, 0);
}

void TApplication::RunPosted() {
  std::deque<std::function<void()>> calls;
  {
    std::lock_guard<std::mutex> lock(FPostedLock);
    calls.swap(FPosted);
  }
  for (const auto& call : calls) Guard(call);
}

int TApplication::ShowMessageBox(const std::wstring& text, const std::wstring& caption,
                                 UINT flags) {
  TMessageBoxRecord record{caption.empty() ? FTitle : caption, text, flags};
  if (FMessageBoxResponder) return FMessageBoxResponder(record);
  HWND owner = GetActiveWindow();
  if (!owner && FMainForm && IsWindowVisible(FMainForm->Handle())) owner = FMainForm->Handle();
  return ::MessageBoxW(owner, record.Text.c_str(), record.Caption.c_str(),
                       flags | MB_SETFOREGROUND);
}

void TApplication::ShowNotice(const std::wstring& text) {
  ShowMessageBox(text, FTitle, MB_OK);
}

std::wstring TApplication::ErrorBoxText(const std::wstring& message) {
  std::wstring text = message;
  if (!text.empty() && text.back() > L'.') text += L'.';
  return text;
}

void TApplication::ShowException(const std::exception& error) {
  ShowMessageBox(ErrorBoxText(Widen(error.what())), FTitle, MB_OK | MB_ICONSTOP);
}

void TApplication::Guard(const std::function<void()>& fn) noexcept {
  try {
    fn();
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException(Exception("Unknown error"));
  }
}

LRESULT CALLBACK TApplication::HiddenWindowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
  switch (message) {
    case kSynchronizeMessage: {
      auto* call = reinterpret_cast<TSyncCall*>(lParam);
      try {
        (*call->Fn)();
      } catch (...) {
        call->Error = std::current_exception();
      }
      return 0;
    }
    case WM_TIMER:
      if (wParam == kPostedTimer) {
        KillTimer(window, kPostedTimer);
        Get().RunPosted();
        return 0;
      }
      TTimer::Dispatch(static_cast<UINT_PTR>(wParam));
      return 0;
    case kPostedMessage:
      // A timer message comes only once the queue holds nothing else, repaints
      // included: what was posted waits until the window shows its changes.
      SetTimer(window, kPostedTimer, USER_TIMER_MINIMUM, nullptr);
      return 0;
    case WM_ACTIVATE:
      // Activated through its taskbar button: the form last active takes over, once
      // this activation is through.
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
        PostMessageW(window, kActivateFormMessage, 0, 0);
      return 0;
    case kActivateFormMessage: {
      HWND form = GetLastActivePopup(window);
      if (form != window && IsWindowVisible(form) && IsWindowEnabled(form))
        SetForegroundWindow(form);
      return 0;
    }
    case WM_CLOSE:
      // "Close" on the taskbar button asks the main form, as its close box does.
      if (TForm* main = Get().FMainForm) main->Close();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
}

std::string ToAnsi(const std::wstring& wide) {
  if (wide.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::wstring FromAnsi(const std::string& ansi) {
  if (ansi.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring out(n, L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), out.data(), n);
  return out;
}

}  // namespace ui
