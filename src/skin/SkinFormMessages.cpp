// The frame's window procedure: non-client size, paint, hit test and mouse, activation,
// show states, system commands and the skinned menu bar's keyboard access.
#include <windowsx.h>

#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "skin/SkinManage.h"
#include "skin/SkinFormMenuBar.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"
#include "ui/Application.h"
#include "ui/Subclass.h"

namespace skin {

LRESULT CALLBACK TSkinForm::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR data) {
  auto* frame = reinterpret_cast<TSkinForm*>(data);
  if (message == WM_NCDESTROY) {
    // Detached once, freed by the manager, never touched again: the rest of the chain
    // still sees the message.
    frame->Detach();
    if (TSkinManage* manager = TSkinManage::Instance()) manager->DropFrame(frame);
    return ui::DefSubclass(window, message, wParam, lParam);
  }
  LRESULT result = 0;
  ui::Application().Guard([&] { result = frame->HandleMessage(message, wParam, lParam); });
  return result;
}

LRESULT TSkinForm::CallDefault(UINT message, WPARAM wParam, LPARAM lParam) {
  return ui::DefSubclass(FHandle, message, wParam, lParam);
}

LRESULT TSkinForm::DefaultThenRepaint(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallDefault(message, wParam, lParam);
  if (FAttached) RepaintFrame();
  return result;
}

LRESULT TSkinForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  // Messages of every frame, drawn or not.
  switch (message) {
    case kMsgFinishAttach:
      FinishAttach();
      return 0;
    case kMsgIsSkinned:
      return 1;
    case WM_ERASEBKGND:
      if (!FData->FaceBrush()) break;
      {
        RECT client{};
        GetClientRect(FHandle, &client);
        FillRect(reinterpret_cast<HDC>(wParam), &client, FData->FaceBrush());
      }
      return 1;
    case WM_CTLCOLORBTN: {
      LRESULT result = CallDefault(message, wParam, lParam);
      if (!FForm) SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return result;
    }
    case WM_CTLCOLORSTATIC:
      if (!FData->FaceBrush()) break;
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      if (FSkin && FSkin->Colours.WindowText.Set)
        SetTextColor(reinterpret_cast<HDC>(wParam), ToColorRef(FSkin->Colours.WindowText.Rgb()));
      return reinterpret_cast<LRESULT>(FData->FaceBrush());
    case WM_INITMENUPOPUP:
      if (TSkinManage* manager = TSkinManage::Instance())
        manager->SetSystemMenuOpening(HIWORD(lParam) != 0);
      break;
    default:
      break;
  }
  bool paints = FDrawFrame && FBorderKind != TBorderKind::NoCaption &&
                !(FWindowKind == TWindowKind::MDIChild && ShowState() != TShowState::Normal);
  if (!paints) return CallDefault(message, wParam, lParam);

  switch (message) {
    case 0x00AE:  // the system's own caption drawing
    case 0x00AF:
      return 0;
    case WM_NCCALCSIZE:
      return OnNcCalcSize(wParam, lParam);
    case WM_NCPAINT:
      if (FAttached && IsWindowVisible(FHandle)) RepaintFrame();
      return 0;
    case WM_PRINT: {
      LRESULT result = CallDefault(message, wParam, lParam);
      if ((lParam & PRF_NONCLIENT) && FAttached) PaintFrame(reinterpret_cast<HDC>(wParam));
      return result;
    }
    case WM_NCACTIVATE:
      return OnNcActivate(message, wParam, lParam);
    case WM_ACTIVATE:
      FActive = LOWORD(wParam) != WA_INACTIVE;
      break;
    case WM_SIZE:
      return OnSize(wParam, lParam);
    case WM_GETMINMAXINFO:
      return OnGetMinMaxInfo(wParam, lParam);
    case WM_WINDOWPOSCHANGED:
      ReadMetrics();
      LayoutButtons();
      break;
    case WM_SETTEXT:
    case WM_SETICON:
    case WM_ENABLE:
    case WM_STYLECHANGED:
      return DefaultThenRepaint(message, wParam, lParam);
    case WM_SYSCOMMAND:
      return OnSysCommand(wParam, lParam);
    case 0xB015:  // the form's menu changed
      return OnMenuChanged(wParam, lParam);
    case WM_NCHITTEST:
      return OnNcHitTest(wParam, lParam);
    case WM_NCMOUSEMOVE:
    case WM_NCLBUTTONDOWN:
    case WM_NCLBUTTONUP:
    case WM_NCLBUTTONDBLCLK:
    case WM_NCRBUTTONDOWN:
    case WM_NCRBUTTONUP:
      return OnNcMouse(message, wParam, lParam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
      if (OnCapturedMouse(message, wParam, lParam)) return 0;
      break;
    case WM_NCMOUSELEAVE:
      SetHot(-1);
      break;
    case WM_TIMER:
      if (wParam != kHotTimer) break;
      OnHotTimer();
      return 0;
    case kMsgRepaintFrame:
      RepaintFrame();
      return 0;
    default:
      break;
  }
  return CallDefault(message, wParam, lParam);
}

LRESULT TSkinForm::OnNcCalcSize(WPARAM wParam, LPARAM lParam) {
  RECT* rect = reinterpret_cast<RECT*>(lParam);
  RECT window = *rect;  // the proposed window rectangle, before the default changes it
  CallDefault(WM_NCCALCSIZE, wParam, lParam);
  RECT client{window.left + FMetrics.Left, window.top + FMetrics.Caption + FMetrics.MenuBar,
              window.right - FMetrics.Right, window.bottom - FMetrics.Bottom};
  if (client.right < client.left) client.right = client.left;
  if (client.bottom < client.top) client.bottom = client.top;
  *rect = client;
  if (!wParam) return 0;
  auto* params = reinterpret_cast<NCCALCSIZE_PARAMS*>(lParam);
  params->rgrc[1] = client;
  params->rgrc[2] = client;
  return WVR_VALIDRECTS;
}

LRESULT TSkinForm::OnNcActivate(UINT message, WPARAM wParam, LPARAM lParam) {
  FActive = wParam != 0;
  // Deactivation is never refused, attached or not.
  if (!FAttached)
    return FWindowKind == TWindowKind::MDIChild ? CallDefault(message, wParam, lParam) : TRUE;
  if (FActive && !FTimer) FTimer = SetTimer(FHandle, kHotTimer, 250, nullptr);
  if (!FActive && FTimer) {
    KillTimer(FHandle, kHotTimer);
    FTimer = 0;
  }
  if (FWindowKind == TWindowKind::MDIChild) CallDefault(message, wParam, lParam);
  RepaintFrame();
  return TRUE;
}

LRESULT TSkinForm::OnSize(WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallDefault(WM_SIZE, wParam, lParam);
  if (wParam != SIZE_MINIMIZED && FAttached) {
    LayoutButtons();
    UpdateRegion(FWindowKind == TWindowKind::MDIChild);
  }
  return result;
}

LRESULT TSkinForm::OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam) {
  LRESULT result = CallDefault(WM_GETMINMAXINFO, wParam, lParam);
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromWindow(FHandle, MONITOR_DEFAULTTONEAREST), &monitor)) {
    // A maximised skinned frame fills the work area exactly: its borders are its own.
    info->ptMaxPosition = {monitor.rcWork.left - monitor.rcMonitor.left,
                           monitor.rcWork.top - monitor.rcMonitor.top};
    info->ptMaxSize = {monitor.rcWork.right - monitor.rcWork.left,
                       monitor.rcWork.bottom - monitor.rcWork.top};
  }
  return result;
}

LRESULT TSkinForm::OnMenuChanged(WPARAM wParam, LPARAM lParam) {
  SetWindowRedraw(FHandle, FALSE);
  LRESULT result = CallDefault(0xB015, wParam, lParam);
  SetWindowRedraw(FHandle, TRUE);
  if (HMENU menu = GetMenu(FHandle)) {
    FTakenMenu = menu;
    FMenuBar = std::make_unique<TSkinFormMenuBar>(FHandle, menu);
    SetMenu(FHandle, nullptr);
    ReadMetrics();
    SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
                 SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return result;
}

LRESULT TSkinForm::OnSysCommand(WPARAM wParam, LPARAM lParam) {
  switch (wParam & 0xFFF0) {
    case SC_KEYMENU: {
      wchar_t key = static_cast<wchar_t>(lParam);
      if (key == L' ') {
        RECT window{};
        GetWindowRect(FHandle, &window);
        OpenSystemMenu(
            POINT{window.left + FMetrics.Left, window.top + FMetrics.Caption + FMetrics.MenuBar});
        return 0;
      }
      // Alt or F10 alone on a window without a menu bar: the system would highlight
      // its own icon in our caption and leave it there; there is nothing to open.
      if (!FMenuBar && !key) return 0;
      if (key == L'-' || GetCapture() || !FMenuBar) break;
      int item = key ? FMenuBar->FindAccessKey(key) : 0;
      if (item >= 0) OpenMenuItem(item);
      return 1;
    }
    default:
      break;
  }
  return CallDefault(WM_SYSCOMMAND, wParam, lParam);
}

void TSkinForm::OnHotTimer() {
  if (FPressedButton >= 0) return;
  if (FHotButton < 0 && (!FMenuBar || FMenuBar->Hot() < 0)) return;
  POINT cursor{};
  GetCursorPos(&cursor);
  POINT point = ToWindow(MAKELPARAM(cursor.x, cursor.y));
  if (ButtonAt(point) != FHotButton || (FMenuBar && FMenuBar->ItemAt(point) != FMenuBar->Hot()))
    SetHot(-1);
}

}  // namespace skin
