#include "ui/Form.h"

#include "ui/Application.h"

namespace ui {

namespace {
constexpr wchar_t kFormClass[] = L"VornisForm";

void RegisterFormClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = TForm::WindowProc;
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.hIcon = LoadIconW(Application().Instance(), L"MAINICON");
  wc.lpszClassName = kFormClass;
  RegisterClassExW(&wc);
  registered = true;
}
}  // namespace

TForm::~TForm() {
  FControls.clear();
  if (FHandle && IsWindow(FHandle)) {
    SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
}

void TForm::CreateForm(const TFormDesc& desc, const std::vector<TControlDesc>& layout) {
  RegisterFormClass();
  // Owned by the application window, which carries the taskbar button for them all.
  FHandle = CreateWindowExW(desc.ExStyle, kFormClass, desc.Caption, desc.Style, desc.Left, desc.Top,
                            desc.Width, desc.Height, Application().Handle(), nullptr,
                            Application().Instance(), this);
  HFONT font = desc.Font ? desc.Font : GetFont(L"Arial", 9);
  SendMessageW(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);

  for (const TControlDesc& row : layout) {
    HWND parent = FHandle;
    if (row.Parent && *row.Parent) {
      auto it = FControls.find(row.Parent);
      if (it != FControls.end()) parent = it->second->Handle();
    }
    TControl* control = CreateControl(row, parent, ControlId(FOrder.size()));
    control->SetFont(font);
    if (row.Kind == TControlKind::TabSheet)
      if (auto* pages = Find<TPageControl>(row.Parent)) pages->AddPage(control, row.Caption);
    FOrder.push_back(control);
    FControls[row.Name].reset(control);
  }
  Realign();
}

std::wstring TForm::Caption() const {
  int length = GetWindowTextLengthW(FHandle);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(FHandle, text.data(), length + 1)));
  return text;
}

void TForm::SetCaption(const std::wstring& caption) {
  SetWindowTextW(FHandle, caption.c_str());
}

void TForm::Show() {
  ShowWindow(FHandle, SW_SHOW);
  SetForegroundWindow(FHandle);
}

void TForm::Hide() {
  ShowWindow(FHandle, SW_HIDE);
}

void TForm::Close() {
  SendMessageW(FHandle, WM_CLOSE, 0, 0);
}

int TForm::ShowModal() {
  FModalResult = mrNone;
  FAfterModal = nullptr;
  if (const TModalResponder& responder = Application().ModalResponder()) {
    FModal = true;
    int result = responder(*this);
    FModal = false;
    RunAfterModal();
    return result;
  }

  // Disable every other window of this thread while the dialog runs.
  HWND previous = GetActiveWindow();
  std::vector<HWND> disabled;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM param) -> BOOL {
        auto* list = reinterpret_cast<std::vector<HWND>*>(param);
        if (IsWindowVisible(window) && IsWindowEnabled(window)) list->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&disabled));
  for (HWND window : disabled)
    if (window != FHandle) EnableWindow(window, FALSE);

  FModal = true;
  SetWindowPos(FHandle, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Show();
  MSG msg;
  while (FModalResult == mrNone && IsWindow(FHandle) && IsWindowVisible(FHandle)) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      if (FModalResult == mrNone) FModalResult = mrCancel;
      break;
    }
    if (Application().FilterMessage(msg)) continue;
    if (!IsDialogMessageW(FHandle, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (FModalResult == mrNone) FModalResult = mrCancel;
  FModal = false;
  // The windows come back before the dialog goes, and the one that was active takes
  // the activation back: hiding first would hand the foreground to another program.
  for (HWND window : disabled)
    if (window != FHandle && IsWindow(window)) EnableWindow(window, TRUE);
  if (previous && previous != FHandle && IsWindow(previous) && IsWindowVisible(previous))
    SetForegroundWindow(previous);
  Hide();
  int result = FModalResult;
  RunAfterModal();
  return result;
}

void TForm::AfterModal(std::function<void()> action) {
  FAfterModal = std::move(action);
}

void TForm::RunAfterModal() {
  std::function<void()> action = std::move(FAfterModal);
  FAfterModal = nullptr;
  if (action) action();
}

void TForm::SetMenu(TMenu* menu) {
  FMenu = menu;
  ::SetMenu(FHandle, menu ? menu->Handle() : nullptr);
}

void TForm::Realign() {
  AlignChildren(FHandle);
  for (TControl* control : FOrder)
    if (dynamic_cast<TPanel*>(control)) AlignChildren(control->Handle());
}

void TForm::AlignChildren(HWND parent) {
  RECT area{};
  GetClientRect(parent, &area);
  for (TControl* control : FOrder) {
    if (GetParent(control->Handle()) != parent || control->Align() == TAlign::None) continue;
    if (!control->Visible()) continue;
    RECT bounds = control->BoundsRect();
    int height = bounds.bottom - bounds.top;
    switch (control->Align()) {
      case TAlign::Top:
        control->SetBounds(area.left, area.top, area.right - area.left, height);
        area.top += height;
        break;
      case TAlign::Bottom:
        control->SetBounds(area.left, area.bottom - height, area.right - area.left, height);
        area.bottom -= height;
        break;
      default:
        break;
    }
  }
  for (TControl* control : FOrder) {
    if (GetParent(control->Handle()) != parent || control->Align() != TAlign::Client) continue;
    control->SetBounds(area.left, area.top, area.right - area.left, area.bottom - area.top);
  }
}

TForm* TForm::FromHandle(HWND window) {
  wchar_t name[32] = {};
  if (!window || !GetClassNameW(window, name, 32) || lstrcmpW(name, kFormClass) != 0)
    return nullptr;
  return reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

LRESULT CALLBACK TForm::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    auto* self = static_cast<TForm*>(create->lpCreateParams);
    self->FHandle = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!form) return DefWindowProcW(window, message, wParam, lParam);
  return form->Dispatch(message, wParam, lParam);
}

LRESULT TForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (HandleMessage(message, wParam, lParam, result)) return result;
  switch (message) {
    case WM_COMMAND:
      if (lParam == 0 && HIWORD(wParam) == 0 && FMenu) {
        FMenu->Dispatch(LOWORD(wParam));
        return 0;
      }
      if (TControl::Reflect(message, wParam, lParam, result)) return result;
      break;
    case WM_NOTIFY:
      if (TControl::Reflect(message, wParam, lParam, result)) return result;
      break;
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) Realign();
      break;
    case WM_SYSCOMMAND:
      // The main form minimises through the application window, which holds the
      // taskbar button; an owned window minimised on its own would have none.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && Application().MainForm() == this) {
        Application().Minimize();
        return 0;
      }
      break;
    case WM_SHOWWINDOW:
      if (wParam && lParam == 0) Application().Guard([this] { DoShow(); });
      break;
    case WM_CLOSE: {
      bool canClose = true;
      Application().Guard([&] { canClose = CloseQuery(); });
      if (!canClose) return 0;
      if (FModal) {
        if (FModalResult == mrNone) FModalResult = mrCancel;
        return 0;
      }
      if (Application().MainForm() == this) {
        DestroyWindow(FHandle);
      } else {
        Hide();
      }
      return 0;
    }
    case WM_DESTROY:
      if (Application().MainForm() == this) PostQuitMessage(0);
      break;
    default:
      break;
  }
  return DefWindowProcW(FHandle, message, wParam, lParam);
}

}  // namespace ui
