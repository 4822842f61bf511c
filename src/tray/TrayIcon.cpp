#include "tray/TrayIcon.h"

#include "tray/SharedWindow.h"
#include "ui/Application.h"
#include "ui/Subclass.h"
#include "ui/Menus.h"

#include <cwchar>
#include <map>
#include <string_view>
#include <vector>

namespace tray {

namespace {

// Message, icon and tip: what every add and modify sends. A balloon adds NIF_INFO for
// exactly one modify call.
constexpr UINT kBaseFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
constexpr UINT kExitCheckInterval = 20;

// Cuts text to at most maxLength UTF-16 units without splitting a surrogate pair.
std::wstring_view CutText(std::wstring_view text, size_t maxLength) {
  if (text.size() <= maxLength) return text;
  size_t length = maxLength;
  if (length > 0 && IS_HIGH_SURROGATE(text[length - 1])) --length;
  return text.substr(0, length);
}

template <size_t N>
void StoreText(wchar_t (&target)[N], std::wstring_view text, size_t maxLength) {
  static_assert(N > 0);
  std::wstring_view cut = CutText(text, maxLength < N ? maxLength : N - 1);
  std::wmemcpy(target, cut.data(), cut.size());
  target[cut.size()] = L'\0';
}

TShiftState KeyShiftState() {
  TShiftState shift = 0;
  if (GetAsyncKeyState(VK_SHIFT) < 0) shift |= kShiftKey;
  if (GetAsyncKeyState(VK_MENU) < 0) shift |= kAltKey;
  if (GetAsyncKeyState(VK_CONTROL) < 0) shift |= kCtrlKey;
  return shift;
}

bool IsMdiFrame(HWND window) {
  return window && FindWindowExW(window, nullptr, L"MDIClient", nullptr) != nullptr;
}

}  // namespace

// The window shared by all tray icons of the process. The shell sends every icon's
// notifications here with the icon's id; the broadcast "TaskbarCreated" (a restarted
// shell) also lands here, as the window is a hidden top-level one.
class TTrayIconHandler {
 public:
  static TTrayIconHandler& Get() {
    static TTrayIconHandler handler;
    return handler;
  }

  // Ids are never reused, so a late notification for a destroyed icon finds nothing.
  UINT Attach(TTrayIcon* icon) {
    FWindow.Acquire();
    UINT id = ++FLastId;
    FIcons[id] = icon;
    return id;
  }

  void Detach(UINT id) {
    if (FIcons.erase(id)) FWindow.Release();
  }

  HWND Handle() const { return FWindow.Handle(); }

 private:
  TTrayIconHandler()
      : FWindow(L"TTrayIconHandler", WindowProc, false),
        FTaskbarCreated(RegisterWindowMessageW(L"TaskbarCreated")) {}

  TTrayIcon* Find(UINT id) const {
    auto found = FIcons.find(id);
    return found == FIcons.end() ? nullptr : found->second;
  }

  // Ids of the live icons; handlers may create or destroy icons while we iterate.
  std::vector<UINT> Ids() const {
    std::vector<UINT> ids;
    for (const auto& entry : FIcons) ids.push_back(entry.first);
    return ids;
  }

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    TTrayIconHandler& self = Get();
    if (message == kTrayCallbackMessage) {
      if (TTrayIcon* icon = self.Find(static_cast<UINT>(wParam))) {
        UINT event = LOWORD(lParam);
        ui::Application().Guard([icon, event] { icon->HandleNotification(event); });
      }
      return 0;
    }
    if (self.FTaskbarCreated != 0 && message == self.FTaskbarCreated) {
      for (UINT id : self.Ids()) {
        if (TTrayIcon* icon = self.Find(id)) {
          ui::Application().Guard([icon] { icon->HandleShellRestart(); });
        }
      }
      return 0;
    }
    switch (message) {
      // Nobody but the last icon closes this window: not a stray WM_CLOSE, not the
      // end of the session.
      case WM_CLOSE:
      case WM_DESTROY:
      case WM_QUIT:
      case WM_QUERYENDSESSION:
      case WM_ENDSESSION:
      case WM_NCDESTROY:
        return 1;
      default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
  }

  TSharedWindow FWindow;
  UINT FTaskbarCreated;
  std::map<UINT, TTrayIcon*> FIcons;
  UINT FLastId = 0;
};

TTrayIcon::TTrayIcon(HWND owner) {
  TTrayIconHandler& handler = TTrayIconHandler::Get();
  FIconData.cbSize = NOTIFYICONDATAW_V2_SIZE;
  FIconData.uID = handler.Attach(this);
  FIconData.hWnd = handler.Handle();
  FIconData.uFlags = kBaseFlags;
  FIconData.uCallbackMessage = kTrayCallbackMessage;

  FCycleTimer.SetInterval(0);
  FCycleTimer.SetOnTimer([this](TSimpleTimer&) { CycleStep(); });
  FClickTimer.SetOnTimer([this](TSimpleTimer&) { ClickTimerStep(); });
  FExitTimer.SetInterval(kExitCheckInterval);
  FExitTimer.SetOnTimer([this](TSimpleTimer&) { ExitCheck(); });
  SetOwner(owner);
}

TTrayIcon::~TTrayIcon() {
  Shell_NotifyIconW(NIM_DELETE, &FIconData);
  SetMainWindow(nullptr);
  SetOwner(nullptr);
  TTrayIconHandler::Get().Detach(FIconData.uID);
}

HWND TTrayIcon::HandlerWindow() {
  return TTrayIconHandler::Get().Handle();
}

void TTrayIcon::SetOwner(HWND owner) {
  if (FOwner) ui::RemoveSubclass(FOwner, OwnerProc, FIconData.uID);
  FOwner = nullptr;
  if (owner &&
      ui::SetSubclass(owner, OwnerProc, FIconData.uID, reinterpret_cast<DWORD_PTR>(this))) {
    FOwner = owner;
  }
}

void TTrayIcon::SetMainWindow(HWND mainWindow) {
  if (FMainWindow) ui::RemoveSubclass(FMainWindow, MainWindowProc, FIconData.uID);
  FMainWindow = nullptr;
  FFirstWindowChangePending = true;
  if (mainWindow && ui::SetSubclass(mainWindow, MainWindowProc, FIconData.uID,
                                    reinterpret_cast<DWORD_PTR>(this))) {
    FMainWindow = mainWindow;
  }
}

bool TTrayIcon::Loaded() {
  bool showMainForm = true;
  // An MDI frame runs the start-up query on its first position change instead.
  if (FOwner && !IsMdiFrame(FMainWindow)) showMainForm = RunStartup();
  UpdateTrayIcon();
  if (FIconVisible) {
    AddTrayIcon();
  } else {
    DeleteTrayIcon();
  }
  SetCycleIcons(FCycleIcons);
  SetWantEnterExitEvents(FWantEnterExitEvents);
  ApplyShellVersion();
  return showMainForm;
}

bool TTrayIcon::RunStartup() {
  bool showMainForm = true;
  if (OnStartup) {
    TStartupEvent handler = OnStartup;
    ui::Application().Guard([&] { handler(*this, showMainForm); });
  }
  if (!showMainForm) ConcealMainWindow();
  return showMainForm;
}

// --- Properties ---

void TTrayIcon::SetIconList(HIMAGELIST iconList) {
  FIconList = iconList;
  SetIconIndex(FIconIndex);
}

void TTrayIcon::SetCycleIcons(bool cycleIcons) {
  FCycleIcons = cycleIcons;
  if (cycleIcons) {
    SetIconIndex(0);
    FCycleTimer.Start();  // refuses an interval of 0
  } else {
    FCycleTimer.Stop();
  }
}

void TTrayIcon::SetCycleInterval(UINT intervalMs) {
  FCycleTimer.SetInterval(intervalMs);
  if (FCycleIcons && !FCycleTimer.Active()) FCycleTimer.Start();
}

void TTrayIcon::SetEnabled(bool enabled) {
  FEnabled = enabled;
  if (!enabled) {
    // A click already under way must not arrive after disabling either.
    FClickTimer.Stop();
    FLeftDown = false;
    FClickPending = false;
    FDoubleClick = false;
  }
}

void TTrayIcon::SetHint(std::wstring hint) {
  FHint = std::move(hint);
  UpdateTrayIcon();
}

void TTrayIcon::SetShowHint(bool showHint) {
  FShowHint = showHint;
  UpdateTrayIcon();
}

void TTrayIcon::SetIcon(HICON icon) {
  FIcon.reset(icon ? CopyIcon(icon) : nullptr);
  UpdateTrayIcon();
}

void TTrayIcon::SetIconVisible(bool visible) {
  if (visible) {
    AddTrayIcon();
  } else {
    DeleteTrayIcon();
  }
}

void TTrayIcon::SetIconIndex(int index) {
  int count = FIconList ? ImageList_GetImageCount(FIconList) : 0;
  if (count <= 0 || index < 0) {
    index = 0;
  } else if (index >= count) {
    index = count - 1;
  }
  FIconIndex = index;
  UpdateTrayIcon();
}

void TTrayIcon::SetWantEnterExitEvents(bool want) {
  FWantEnterExitEvents = want;
  if (want) {
    FExitTimer.Start();
  } else {
    FExitTimer.Stop();
  }
}

void TTrayIcon::SetShellBehaviour(TShellBehaviour behaviour) {
  FShellBehaviour = behaviour;
  ApplyShellVersion();
}

// --- Shell ---

void TTrayIcon::PrepareIconData() {
  FIconData.hIcon = FIcon.get();
  bool withTip = !FHint.empty() && FShowHint;
  StoreText(FIconData.szTip, withTip ? std::wstring_view(FHint) : std::wstring_view(),
            kMaxTipLength);
}

bool TTrayIcon::Notify(DWORD operation) {
  return Shell_NotifyIconW(operation, &FIconData) != FALSE;
}

bool TTrayIcon::AddTrayIcon() {
  FIconVisible = true;
  PrepareIconData();
  bool added = Notify(NIM_ADD);
  FAskedShell = true;
  // The protocol version belongs to the icon in the shell, so it is set on every add.
  ApplyShellVersion();
  return added;
}

bool TTrayIcon::DeleteTrayIcon() {
  FIconVisible = false;
  PrepareIconData();
  // An icon never added has nothing in the shell to delete: the shell's library is not
  // even loaded for it while the main window starts.
  if (!FAskedShell) return false;
  return Notify(NIM_DELETE);
}

bool TTrayIcon::UpdateTrayIcon() {
  PrepareIconData();
  // A hidden icon has nothing in the shell to modify.
  if (!FIconVisible) return false;
  return Notify(NIM_MODIFY);
}

void TTrayIcon::ApplyShellVersion() {
  if (!FIconVisible) return;
  NOTIFYICONDATAW data = FIconData;
  data.uVersion = FShellBehaviour == TShellBehaviour::Version5 ? NOTIFYICON_VERSION : 0;
  Shell_NotifyIconW(NIM_SETVERSION, &data);
}

bool TTrayIcon::ShowBalloonTip(const std::wstring& title, const std::wstring& text,
                               TBalloonIcon icon, std::uint8_t timeoutSeconds) {
  ClearBalloonTip();
  FIconData.uFlags = kBaseFlags | NIF_INFO;
  StoreText(FIconData.szInfo, text, kMaxBalloonTextLength);
  StoreText(FIconData.szInfoTitle, title, kMaxBalloonTitleLength);
  FIconData.uTimeout = static_cast<UINT>(timeoutSeconds) * 1000;
  FIconData.dwInfoFlags = static_cast<DWORD>(icon);
  bool shown = UpdateTrayIcon();
  FIconData.uFlags = kBaseFlags;
  return shown;
}

bool TTrayIcon::ClearBalloonTip() {
  FIconData.uFlags = kBaseFlags | NIF_INFO;
  FIconData.szInfo[0] = L'\0';
  bool cleared = UpdateTrayIcon();
  FIconData.uFlags = kBaseFlags;
  return cleared;
}

void TTrayIcon::HandleShellRestart() {
  if (FIconVisible) AddTrayIcon();
}

// --- Main window ---

void TTrayIcon::RestoreMainWindow() {
  if (!FOwner || !FMainWindow) return;
  HWND taskbarWindow = GetWindow(FMainWindow, GW_OWNER);
  if (taskbarWindow && !IsWindowVisible(taskbarWindow))
    ShowWindow(taskbarWindow, SW_SHOWNOACTIVATE);
  if (IsIconic(FMainWindow)) ShowWindow(FMainWindow, SW_RESTORE);
  ShowWindow(FMainWindow, SW_SHOW);
  SetForegroundWindow(FMainWindow);
}

void TTrayIcon::ConcealMainWindow() {
  if (!FOwner || !FMainWindow) return;
  ShowWindow(FMainWindow, SW_HIDE);
  HideTaskbarButton();
}

void TTrayIcon::HideTaskbarButton() {
  if (!FMainWindow) return;
  HWND taskbarWindow = GetWindow(FMainWindow, GW_OWNER);
  if (taskbarWindow && IsWindowVisible(taskbarWindow)) ShowWindow(taskbarWindow, SW_HIDE);
}

void TTrayIcon::DoMinimizeToTray() {
  ConcealMainWindow();
  AddTrayIcon();
}

// --- Menu ---

void TTrayIcon::PopupMenuAtCursor() {
  POINT cursor{};
  if (GetCursorPos(&cursor)) PopupMenuAt(cursor.x, cursor.y);
}

void TTrayIcon::PopupMenuAt(int x, int y) {
  if (!FPopupMenu) return;
  // The menu's window must be the foreground window, or the menu stays open when the
  // user clicks elsewhere; Popup() also posts the null message that lets it close.
  HWND window = HandlerWindow();
  SetForegroundWindow(window);
  ui::Application().ProcessMessages();
  if (!FPopupMenu) return;
  FPopupMenu->Popup(x, y, window);
}

// --- Mouse ---

void TTrayIcon::HandleNotification(UINT event) {
  switch (event) {
    case NIN_BALLOONSHOW:
      RaiseNotify(OnBalloonHintShow);
      return;
    case NIN_BALLOONHIDE:
      RaiseNotify(OnBalloonHintHide);
      return;
    case NIN_BALLOONTIMEOUT:
      RaiseNotify(OnBalloonHintTimeout);
      return;
    case NIN_BALLOONUSERCLICK:
      RaiseNotify(OnBalloonHintClick);
      return;
    default:
      break;
  }
  if (!FEnabled) return;

  POINT cursor{};
  GetCursorPos(&cursor);
  TShiftState shift = KeyShiftState();
  switch (event) {
    case WM_MOUSEMOVE:
      if (FWantEnterExitEvents && FCursorOutside) {
        FCursorOutside = false;
        MouseEnter();
      }
      FLastMovePosition = cursor;
      MouseMove(shift, cursor.x, cursor.y);
      break;
    case WM_LBUTTONDOWN:
      if (OnDblClick) {
        FDoubleClick = false;
        FClickTimer.SetInterval(GetDoubleClickTime());
        FClickTimer.Start();
      }
      FLeftDown = true;
      MouseDown(TMouseButton::Left, shift | kLeftButton, cursor.x, cursor.y);
      if (FLeftPopup && FPopupMenu) PopupMenuAtCursor();
      break;
    case WM_LBUTTONUP: {
      bool clicked = false;
      if (FLeftDown) {
        FClickPending = true;
        if (!FClickTimer.Active()) {
          FClickPending = false;
          clicked = true;
        }
      }
      FLeftDown = false;
      if (clicked) Click();
      MouseUp(TMouseButton::Left, shift | kLeftButton, cursor.x, cursor.y);
      break;
    }
    case WM_LBUTTONDBLCLK:
      FClickPending = false;
      FDoubleClick = true;
      DblClick();
      if (FPopupMenu && !FLeftPopup) {
        // Win32 keeps at most one default item; this is the lowest-index one.
        UINT commandId = GetMenuDefaultItem(FPopupMenu->Handle(), FALSE, 0);
        if (commandId != static_cast<UINT>(-1)) FPopupMenu->Dispatch(commandId);
      }
      break;
    case WM_RBUTTONDOWN:
      MouseDown(TMouseButton::Right, shift | kRightButton, cursor.x, cursor.y);
      if (FPopupMenu) PopupMenuAtCursor();
      break;
    case WM_RBUTTONUP:
      if (FShellBehaviour == TShellBehaviour::OldStyle) {
        MouseUp(TMouseButton::Right, shift | kRightButton, cursor.x, cursor.y);
      }
      break;
    case WM_MBUTTONDOWN:
      MouseDown(TMouseButton::Middle, shift | kMiddleButton, cursor.x, cursor.y);
      break;
    case WM_MBUTTONUP:
      MouseUp(TMouseButton::Middle, shift | kMiddleButton, cursor.x, cursor.y);
      break;
    case WM_CONTEXTMENU:
    case NIN_SELECT:
    case NIN_KEYSELECT:
      if (FShellBehaviour == TShellBehaviour::Version5) {
        MouseUp(TMouseButton::Right, shift | kRightButton, cursor.x, cursor.y);
      }
      break;
    default:
      break;
  }
}

void TTrayIcon::ClickTimerStep() {
  FClickTimer.Stop();
  bool clicked = !FDoubleClick && FClickPending;
  FClickPending = false;
  FDoubleClick = false;
  if (clicked) Click();
}

void TTrayIcon::ExitCheck() {
  if (FCursorOutside) return;
  POINT cursor{};
  if (!GetCursorPos(&cursor)) return;
  if (cursor.x != FLastMovePosition.x || cursor.y != FLastMovePosition.y) {
    FCursorOutside = true;
    MouseExit();
  }
}

void TTrayIcon::CycleStep() {
  int count = FIconList ? ImageList_GetImageCount(FIconList) : 0;
  if (count <= 0) return;
  if (FIconIndex >= count) FIconIndex = 0;
  int shown = FIconIndex;
  FIcon.reset(ImageList_GetIcon(FIconList, shown, ILD_NORMAL));
  UpdateTrayIcon();
  Cycle(shown);
  FIconIndex = (FIconIndex + 1) % count;
}

// --- Events ---

template <typename Fn>
void TTrayIcon::Raise(Fn&& fn) {
  ui::Application().Guard(std::forward<Fn>(fn));
}

// Each handler is copied first, so it may reassign its own event while it runs.
void TTrayIcon::RaiseNotify(const TNotifyEvent& event) {
  if (TNotifyEvent handler = event) Raise([&] { handler(*this); });
}

void TTrayIcon::Click() {
  RaiseNotify(OnClick);
}

void TTrayIcon::DblClick() {
  RaiseNotify(OnDblClick);
}

void TTrayIcon::Cycle(int nextIndex) {
  if (TCycleEvent handler = OnCycle) Raise([&] { handler(*this, nextIndex); });
}

void TTrayIcon::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (TMouseEvent handler = OnMouseDown) Raise([&] { handler(*this, button, shift, x, y); });
}

void TTrayIcon::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (TMouseEvent handler = OnMouseUp) Raise([&] { handler(*this, button, shift, x, y); });
}

void TTrayIcon::MouseMove(TShiftState shift, int x, int y) {
  if (TMouseMoveEvent handler = OnMouseMove) Raise([&] { handler(*this, shift, x, y); });
}

void TTrayIcon::MouseEnter() {
  RaiseNotify(OnMouseEnter);
}

void TTrayIcon::MouseExit() {
  RaiseNotify(OnMouseExit);
}

// --- Window procedures ---

LRESULT CALLBACK TTrayIcon::OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR refData) {
  auto* self = reinterpret_cast<TTrayIcon*>(refData);
  // Sends the owner to the tray when asked to; true when that replaced the default.
  auto minimizeToTray = [self] {
    if (!self->FMinimizeToTray || !self->OnMinimizeToTray) return false;
    ui::Application().Guard([self] {
      TNotifyEvent handler = self->OnMinimizeToTray;
      handler(*self);
      self->DoMinimizeToTray();
    });
    return true;
  };
  switch (message) {
    case WM_SHOWWINDOW:
      if (wParam == TRUE && lParam == 0) {
        SetForegroundWindow(window);
      } else if (wParam == FALSE && lParam == SW_PARENTCLOSING && !ui::Application().Terminated() &&
                 minimizeToTray()) {
        return 1;
      }
      break;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_MINIMIZE && minimizeToTray()) return 1;
      break;
    case WM_NCDESTROY:
      ui::RemoveSubclass(window, OwnerProc, self->FIconData.uID);
      self->FOwner = nullptr;
      break;
    default:
      break;
  }
  return ui::DefSubclass(window, message, wParam, lParam);
}

LRESULT CALLBACK TTrayIcon::MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR, DWORD_PTR refData) {
  auto* self = reinterpret_cast<TTrayIcon*>(refData);
  if (message == WM_NCDESTROY) {
    ui::RemoveSubclass(window, MainWindowProc, self->FIconData.uID);
    self->FMainWindow = nullptr;
    return ui::DefSubclass(window, message, wParam, lParam);
  }
  // The hook watches; the window's own procedure always handles the message.
  LRESULT result = ui::DefSubclass(window, message, wParam, lParam);
  ui::Application().Guard([&] {
    switch (message) {
      case WM_SIZE:
        if (wParam == SIZE_MINIMIZED && self->FMinimizeToTray) self->DoMinimizeToTray();
        break;
      case WM_WINDOWPOSCHANGED:
        if (self->FFirstWindowChangePending) {
          self->FFirstWindowChangePending = false;
          if (IsMdiFrame(window) && !self->RunStartup()) self->HideTaskbarButton();
        }
        break;
      case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_RESTORE) {
          if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
          ShowWindow(window, SW_SHOW);
        }
        break;
      default:
        break;
    }
  });
  return result;
}

}  // namespace tray
