// Caption buttons and the mouse on the frame: visibility codes, placement, hit test,
// hot and pressed states, the buttons' actions, the skinned system menu and menu bar.
#include <windowsx.h>

#include <algorithm>

#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "skin/SkinManage.h"
#include "skin/SkinFormMenuBar.h"
#include "skin/SkinModel.h"

namespace skin {

namespace {

LRESULT HitCodeOf(int action) {
  switch (action) {
    case 0:
      return HTCLOSE;
    case 1:
    case 22:
      return HTMAXBUTTON;
    case 2:
    case 23:
      return HTMINBUTTON;
    case 3:
    case 11:
    case 12:
      return HTSYSMENU;
    case 4:
      return HTHELP;
    default:
      return HTCAPTION;
  }
}

}  // namespace

bool TSkinForm::ButtonShown(const TCaptionButton& button, int code, bool firstKey) const {
  bool maximised = ShowState() == TShowState::Maximized;
  switch (code) {
    case 0:
      return true;
    case 1:
      return maximised;
    case 2:
      return !maximised;
    case 3:
      return FActive;
    case 4:
      return !FActive;
    case 6:
      return (FHasMinBox || FHasMaxBox) && (!firstKey || FHasSysMenu);
    case 7:
      return !FHasMaxBox;
    case 8:
      return (FHasMinBox || FHasMaxBox) && FHasSysMenu;
    case 9:
      return !FHasMinBox;
    case 10:
      return FHasHelpBox && !FHasMinBox && !FHasMaxBox;
    case 100:
      return false;  // no MDI frames among our windows
    case 200:
      return FBorderKind == TBorderKind::Dialog && FClassName != L"#32770" &&
             FClassName != L"TMessageForm";
    default:
      if (code >= 201 && code <= 999) return true;
      if (code >= 1000 && code <= 2000)
        return SendMessageW(FHandle, kMsgButtonVisibility, static_cast<WPARAM>(code),
                            static_cast<LPARAM>(button.Action)) > 0;
      return false;
  }
}

void TSkinForm::LayoutButtons() {
  RECT window{};
  GetWindowRect(FHandle, &window);
  LayoutCaption(window.right - window.left);
}

void TSkinForm::LayoutCaption(int width) {
  // Visibility first: it decides which buttons take room from the caption text.
  for (TCaptionButton& button : FButtons) {
    button.Visible = ButtonShown(button, button.Visibility, true) &&
                     ButtonShown(button, button.Visibility1, false);
    int action = button.Action;
    if (action == 0 && !FHasSysMenu) button.Visible = false;
    if (IsSystemMenuAction(action) && FBorderKind == TBorderKind::Dialog) button.Visible = false;
    button.Enabled = true;
    if (action == 1 || action == 22) button.Enabled = FHasMaxBox && FHasSysMenu;
    if (action == 2 || action == 23) button.Enabled = FHasMinBox && FHasSysMenu;
  }
  // Buttons at the window edges bound the caption text.
  int textLeft = FMetrics.Left;
  int textRight = width - FMetrics.Right;
  for (TCaptionButton& button : FButtons) {
    if (!button.Visible) continue;
    if (button.Align == 0) {
      button.Rect = {button.Xcoord, button.Ycoord, button.Xcoord + button.Width,
                     button.Ycoord + button.Height};
      textLeft = std::max(textLeft, static_cast<int>(button.Rect.right));
    } else if (button.Align == 1) {
      int x = width - button.Xcoord;
      button.Rect = {x, button.Ycoord, x + button.Width, button.Ycoord + button.Height};
      textRight = std::min(textRight, x);
    }
  }
  FCaptionTextRect = {textLeft, 0, std::max(textLeft, textRight), FMetrics.Caption};
  for (TCaptionButton& button : FButtons) {
    if (!button.Visible) continue;
    int x = 0;
    int y = button.Ycoord;
    switch (button.Align) {
      case 2:
      case 8:
        x = FCaptionTextRect.left - button.Width - button.Xcoord;
        break;
      case 3:
      case 9:
        x = FCaptionTextRect.right + button.Xcoord;
        break;
      case 100:
        if (!FMenuBar) {
          button.Visible = false;
          continue;
        }
        x = width - FMetrics.Right - button.Width;
        y = FMetrics.Caption + (FMetrics.MenuBar - button.Height) / 2;
        break;
      default:
        continue;
    }
    button.Rect = {x, y, x + button.Width, y + button.Height};
  }
  if (FMenuBar)
    FMenuBar->Layout(RECT{FMetrics.Left, FMetrics.Caption, width - FMetrics.Right,
                          FMetrics.Caption + FMetrics.MenuBar},
                     FData->CaptionFont() ? FData->CaptionFont()
                                          : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
}

POINT TSkinForm::ToWindow(LPARAM screenPoint) const {
  RECT window{};
  GetWindowRect(FHandle, &window);
  return POINT{GET_X_LPARAM(screenPoint) - window.left, GET_Y_LPARAM(screenPoint) - window.top};
}

int TSkinForm::ButtonAt(POINT point) const {
  for (size_t i = 0; i < FButtons.size(); ++i)
    if (FButtons[i].Visible && PtInRect(&FButtons[i].Rect, point)) return static_cast<int>(i);
  return -1;
}

void TSkinForm::SetHot(int button) {
  bool changed = false;
  if (FHotButton != button) {
    if (FHotButton >= 0 && FHotButton < static_cast<int>(FButtons.size()))
      FButtons[static_cast<size_t>(FHotButton)].State = bsNormal;
    if (button >= 0) FButtons[static_cast<size_t>(button)].State = bsHot;
    FHotButton = button;
    changed = true;
  }
  if (button < 0 && FMenuBar && FMenuBar->Hot() >= 0) {
    FMenuBar->SetHot(-1);
    changed = true;
  }
  if (changed) RepaintFrame();
}

LRESULT TSkinForm::OnNcHitTest(WPARAM wParam, LPARAM lParam) {
  LRESULT hit = CallDefault(WM_NCHITTEST, wParam, lParam);
  switch (hit) {
    case HTNOWHERE:
    case HTCAPTION:
    case HTSYSMENU:
    case HTMINBUTTON:
    case HTMAXBUTTON:
    case HTCLOSE:
    case HTHELP:
    case HTMENU:
      break;
    default:
      return hit;  // client, sizing borders
  }
  POINT point = ToWindow(lParam);
  LayoutButtons();
  int button = ButtonAt(point);
  if (button >= 0) return HitCodeOf(FButtons[static_cast<size_t>(button)].Action);
  if (FMenuBar && point.y >= FMetrics.Caption && point.y < FMetrics.Caption + FMetrics.MenuBar)
    return HTMENU;
  if (point.y > 3 && point.y < FMetrics.Caption) return HTCAPTION;
  return hit == HTNOWHERE ? HTNOWHERE : HTCAPTION;
}

LRESULT TSkinForm::OnNcMouse(UINT message, WPARAM wParam, LPARAM lParam) {
  POINT point = ToWindow(lParam);
  int button = ButtonAt(point);
  int item = FMenuBar ? FMenuBar->ItemAt(point) : -1;
  switch (message) {
    case WM_NCMOUSEMOVE:
      if (FPressedButton >= 0) {
        TrackPress(point);
        return 0;
      }
      if (!FActive) return 0;
      if (button >= 0) {
        SetHot(button);
        return 0;
      }
      if (item >= 0) {
        if (FHotButton >= 0) SetHot(-1);
        if (FMenuBar->Hot() != item) {
          FMenuBar->SetHot(item);
          RepaintFrame();
        }
        return 0;
      }
      SetHot(-1);
      break;
    case WM_NCLBUTTONDOWN:
      if (button >= 0) {
        if (!FActive) SetForegroundWindow(FHandle);
        TCaptionButton& pressed = FButtons[static_cast<size_t>(button)];
        if (!pressed.Enabled) return 0;
        // As the system does: the mouse is ours until the button goes up, and only an up
        // over the same button acts.
        FPressedButton = button;
        FHotButton = -1;
        pressed.State = bsPressed;
        SetCapture(FHandle);
        RepaintFrame();
        return 0;
      }
      if (item >= 0) {
        if (!FActive) SetForegroundWindow(FHandle);
        OpenMenuItem(item);
        return 0;
      }
      if (wParam == HTCAPTION && ShowState() == TShowState::Maximized) return 0;
      break;
    case WM_NCLBUTTONUP:
      if (FPressedButton >= 0) {
        EndPress(point, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;  // the action may have freed the frame
      }
      break;
    case WM_NCLBUTTONDBLCLK:
      if (button >= 0) {
        if (IsSystemMenuAction(FButtons[static_cast<size_t>(button)].Action))
          PostMessageW(FHandle, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
      }
      if (wParam != HTCAPTION) break;
      if (ShowState() != TShowState::Normal) {
        PostMessageW(FHandle, WM_SYSCOMMAND, SC_RESTORE, 0);
        return 0;
      }
      if (FHasMaxBox) {
        PostMessageW(FHandle, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        return 0;
      }
      break;
    case WM_NCRBUTTONDOWN:
      if (wParam != HTCAPTION || FWindowKind == TWindowKind::MDIChild) break;
      if (GetTickCount() - FLastSysMenuTime < GetDoubleClickTime() && FHotButton >= 0) {
        PostMessageW(FHandle, WM_CLOSE, 0, 0);
        return 0;
      }
      OpenSystemMenu(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    case WM_NCRBUTTONUP:
      if (wParam == HTCAPTION) return 0;  // the system would open its own menu
      break;
    default:
      break;
  }
  return CallDefault(message, wParam, lParam);
}

bool TSkinForm::OnCapturedMouse(UINT message, WPARAM, LPARAM lParam) {
  if (FPressedButton < 0) return false;
  if (message == WM_CAPTURECHANGED) {
    if (reinterpret_cast<HWND>(lParam) == FHandle) return false;
    // Capture taken away (another window, a menu, a dialog): the press is cancelled.
    FButtons[static_cast<size_t>(FPressedButton)].State = bsNormal;
    FPressedButton = -1;
    RepaintFrame();
    return false;
  }
  POINT screen{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ClientToScreen(FHandle, &screen);
  POINT point = ToWindow(MAKELPARAM(screen.x, screen.y));
  if (message == WM_MOUSEMOVE)
    TrackPress(point);
  else
    EndPress(point, screen);
  return true;
}

void TSkinForm::TrackPress(POINT windowPoint) {
  TCaptionButton& pressed = FButtons[static_cast<size_t>(FPressedButton)];
  int state = ButtonAt(windowPoint) == FPressedButton ? bsPressed : bsNormal;
  if (pressed.State == state) return;
  pressed.State = state;
  RepaintFrame();
}

void TSkinForm::EndPress(POINT windowPoint, POINT screenPoint) {
  int pressed = FPressedButton;
  FPressedButton = -1;
  if (GetCapture() == FHandle) ReleaseCapture();
  if (ButtonAt(windowPoint) != pressed) {
    FButtons[static_cast<size_t>(pressed)].State = bsNormal;
    RepaintFrame();
    return;
  }
  SetHot(pressed);
  RunAction(FButtons[static_cast<size_t>(pressed)], screenPoint);
}

void TSkinForm::RunAction(const TCaptionButton& button, POINT screenPoint) {
  HWND window = FHandle;
  switch (button.Action) {
    case 0: {
      UINT state = GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
      if (state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED))) return;
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      return;
    }
    case 1:
    case 22:
      if (button.Enabled)
        PostMessageW(window, WM_SYSCOMMAND,
                     ShowState() == TShowState::Maximized ? SC_RESTORE : SC_MAXIMIZE, 0);
      return;
    case 2:
    case 23:
      if (button.Enabled)
        PostMessageW(window, WM_SYSCOMMAND,
                     ShowState() == TShowState::Minimized ? SC_RESTORE : SC_MINIMIZE, 0);
      return;
    case 3:
    case 11:
    case 12:
      OpenSystemMenu(POINT{screenPoint.x + 1, screenPoint.y + 1});
      return;
    case 4:
      PostMessageW(window, WM_SYSCOMMAND, SC_CONTEXTHELP, 0);
      return;
    case 7:
    case 60:
    case 8:
    case 61:
    case 9:
    case 62: {
      HWND client = FindWindowExW(window, nullptr, L"MDIClient", nullptr);
      HWND child =
          client ? reinterpret_cast<HWND>(SendMessageW(client, WM_MDIGETACTIVE, 0, 0)) : nullptr;
      if (!child) return;
      int action = button.Action;
      WPARAM command = (action == 7 || action == 60)   ? SC_MINIMIZE
                       : (action == 8 || action == 61) ? SC_RESTORE
                                                       : SC_CLOSE;
      SendMessageW(child, WM_SYSCOMMAND, command, 0);
      return;
    }
    default:
      PostMessageW(window, kMsgCaptionAction, static_cast<WPARAM>(button.Action), 0);
      return;
  }
}

void TSkinForm::OpenSystemMenu(POINT screenPoint) {
  HMENU menu = GetSystemMenu(FHandle, FALSE);
  if (!menu) return;
  bool maximised = ShowState() == TShowState::Maximized;
  bool minimised = ShowState() == TShowState::Minimized;
  auto enable = [&](UINT command, bool enabled) {
    EnableMenuItem(menu, command, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
  };
  enable(SC_RESTORE, maximised || minimised);
  enable(SC_MOVE, !maximised);
  enable(SC_SIZE, FBorderKind == TBorderKind::Sizeable && !maximised && !minimised);
  enable(SC_MINIMIZE, FHasMinBox && !minimised);
  enable(SC_MAXIMIZE, FHasMaxBox && !maximised);

  if (TSkinManage* manager = TSkinManage::Instance()) manager->SetSystemMenuOpening(true);
  std::shared_ptr<bool> alive = FAlive;
  HWND window = FHandle;
  UINT command =
      static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTBUTTON | TPM_RIGHTBUTTON,
                                       screenPoint.x, screenPoint.y, 0, window, nullptr));
  if (*alive) FLastSysMenuTime = GetTickCount();
  if (command && IsWindow(window)) PostMessageW(window, WM_SYSCOMMAND, command, 0);
}

void TSkinForm::OpenMenuItem(int item) {
  if (!FMenuBar || item < 0 || item >= FMenuBar->ItemCount()) return;
  std::shared_ptr<bool> alive = FAlive;
  while (item >= 0) {
    FMenuBar->SetOpen(item);
    RepaintFrame();
    item = FMenuBar->Track(item);
    if (!*alive) return;
  }
  FMenuBar->SetOpen(-1);
  FMenuBar->SetHot(-1);
  RepaintFrame();
}

}  // namespace skin
