// The frame's state: attaching to a window, reading its styles and the skin's metrics
// and caption buttons, and giving everything back at detach.
#include "skin/SkinForm.h"

#include <algorithm>

#include "skin/SkinControls.h"
#include "skin/SkinData.h"
#include "skin/SkinManage.h"
#include "skin/SkinFormMenuBar.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"
#include "ui/Form.h"
#include "ui/Subclass.h"

namespace skin {

namespace {
// The frame of each skinned window.
ui::TWindowTable& FrameTable() {
  static ui::TWindowTable* table = new ui::TWindowTable;
  return *table;
}
}  // namespace

TSkinForm::TSkinForm(HWND window, TSkinData& data, ui::TForm* form)
    : FHandle(window), FData(&data), FForm(form), FPainter(std::make_unique<TSkinPainter>()) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  FClassName = name;
  FOwner = GetWindow(window, GW_OWNER);
  FUnicode = IsWindowUnicode(window) != FALSE;
}

TSkinForm::~TSkinForm() {
  Detach();
}

TSkinForm* TSkinForm::FromHandle(HWND window) {
  return static_cast<TSkinForm*>(FrameTable().Get(window));
}

void TSkinForm::Attach() {
  if (FSubclassed || FDetached || !IsWindow(FHandle)) return;
  FSkin = FData->SharedSkin();
  FDrawFrame = FData->SkinControls.Contains(xcMainMenu);
  if (FForm && FData->OnBeforeSkinForm) FData->OnBeforeSkinForm(*FData, FHandle, FClassName);
  FOldStyle = GetWindowLongW(FHandle, GWL_STYLE);
  ReadStyles();
  if (FDrawFrame && FBorderKind != TBorderKind::NoCaption && FWindowKind != TWindowKind::MDIChild) {
    if (HMENU menu = GetMenu(FHandle)) {
      FMenuBar = std::make_unique<TSkinFormMenuBar>(FHandle, menu);
      FTakenMenu = menu;
    }
  }
  ReadMetrics();
  ReadButtons();
  FrameTable().Set(FHandle, this);
  FSubclassed = ui::SetSubclass(FHandle, &TSkinForm::SubclassProc, kSubclassId,
                                reinterpret_cast<DWORD_PTR>(this));
  FActive = GetActiveWindow() == FHandle;
  if (FTakenMenu) {
    // The menu moves into the skinned bar; the window keeps no menu of its own.
    SetMenu(FHandle, nullptr);
  }
  // The frame's size changes: the window computes its client area again through us.
  RECT clientBefore{};
  GetClientRect(FHandle, &clientBefore);
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!FForm) KeepClientSize(clientBefore);
}

void TSkinForm::KeepClientSize(const RECT& clientBefore) {
  // A dialog of the system was laid out for the system's frame: it grows or shrinks
  // by the difference, so that none of its content is cut off by a thicker skin.
  RECT client{};
  GetClientRect(FHandle, &client);
  int dx = (clientBefore.right - clientBefore.left) - (client.right - client.left);
  int dy = (clientBefore.bottom - clientBefore.top) - (client.bottom - client.top);
  if ((dx == 0 && dy == 0) || ShowState() != TShowState::Normal) return;
  RECT window{};
  GetWindowRect(FHandle, &window);
  SetWindowPos(FHandle, nullptr, 0, 0, window.right - window.left + dx,
               window.bottom - window.top + dy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TSkinForm::WidenForCaption() {
  // The system sizes a message box for its caption in the system's caption font and
  // buttons; ours may take more room. Widen it the same way: around its centre, with
  // its row of buttons kept centred.
  constexpr int kMessageBoxTextId = 0xFFFF;
  if (FForm || FClassName != L"#32770" || !GetDlgItem(FHandle, kMessageBoxTextId)) return;
  if (ShowState() != TShowState::Normal) return;
  int shortfall = CaptionTextShortfall();
  if (shortfall <= 0) return;
  RECT window{};
  GetWindowRect(FHandle, &window);
  int width = window.right - window.left + shortfall;
  int left = window.left - shortfall / 2;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (GetMonitorInfoW(MonitorFromWindow(FHandle, MONITOR_DEFAULTTONEAREST), &monitor))
    left = std::max(static_cast<int>(monitor.rcWork.left),
                    std::min(left, static_cast<int>(monitor.rcWork.right) - width));
  SetWindowPos(FHandle, nullptr, left, window.top, width, window.bottom - window.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (HWND child = GetWindow(FHandle, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (lstrcmpiW(name, L"Button") != 0) continue;
    RECT bounds{};
    GetWindowRect(child, &bounds);
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&bounds), 2);
    SetWindowPos(child, nullptr, bounds.left + shortfall / 2, bounds.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void TSkinForm::FinishAttach() {
  if (FAttached || FDetached) return;
  FAttached = true;
  ReadMetrics();
  LayoutButtons();
  WidenForCaption();
  if (TSkinManage* manager = TSkinManage::Instance()) manager->SkinControls(*this, FHandle);
  UpdateRegion(true);
  RepaintFrame();
  if (FActive && !FTimer) FTimer = SetTimer(FHandle, kHotTimer, 250, nullptr);
  if (FForm && FData->OnAfterSkinForm) FData->OnAfterSkinForm(*FData, FHandle, FClassName);
}

void TSkinForm::Detach() {
  if (FDetached) return;
  FDetached = true;
  *FAlive = false;
  FrameTable().Remove(FHandle);
  FControls.clear();
  if (!IsWindow(FHandle)) return;
  if (FTimer) KillTimer(FHandle, kHotTimer);
  FTimer = 0;
  // Only our link leaves the chain: whoever subclassed the window after us stays.
  if (FSubclassed) ui::RemoveSubclass(FHandle, &TSkinForm::SubclassProc, kSubclassId);
  FMenuBar.reset();
  if (FTakenMenu) SetMenu(FHandle, FTakenMenu);
  FTakenMenu = nullptr;
  RemoveRegion();
  LONG style = GetWindowLongW(FHandle, GWL_STYLE);
  if ((FOldStyle & WS_SYSMENU) && !(style & WS_SYSMENU))
    SetWindowLongW(FHandle, GWL_STYLE, style | WS_SYSMENU);
  RECT clientBefore{};
  GetClientRect(FHandle, &clientBefore);
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (!FForm) KeepClientSize(clientBefore);
  RedrawWindow(FHandle, nullptr, nullptr,
               RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TSkinForm::Refresh() {
  if (FDetached) return;
  FPainter->Clear();
  FSkin = FData->SharedSkin();
  ReadMetrics();
  ReadButtons();
  LayoutButtons();
  UpdateRegion(true);
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  RepaintFrame();
}

void TSkinForm::RepaintFrame() {
  if (FDetached || !IsWindow(FHandle)) return;
  HDC dc = GetWindowDC(FHandle);
  if (!dc) return;
  PaintFrame(dc);
  ReleaseDC(FHandle, dc);
}

void TSkinForm::AddControl(std::unique_ptr<TSkinControl> control) {
  if (control) FControls.push_back(std::move(control));
}

bool TSkinForm::HasControl(HWND control) const {
  for (const auto& owned : FControls)
    if (owned->Handle() == control) return true;
  return false;
}

void TSkinForm::ReadStyles() {
  LONG style = FOldStyle;
  LONG exStyle = GetWindowLongW(FHandle, GWL_EXSTYLE);
  FWindowKind = TWindowKind::Normal;
  if (exStyle & WS_EX_MDICHILD)
    FWindowKind = TWindowKind::MDIChild;
  else if (FindWindowExW(FHandle, nullptr, L"MDIClient", nullptr))
    FWindowKind = TWindowKind::MDIFrame;

  if ((style & WS_CAPTION) != WS_CAPTION)
    FBorderKind = TBorderKind::NoCaption;
  else if ((style & DS_MODALFRAME) || (exStyle & WS_EX_DLGMODALFRAME) || FClassName == L"#32770" ||
           FClassName == L"TMessageForm")
    FBorderKind = TBorderKind::Dialog;
  else if (style & WS_THICKFRAME)
    FBorderKind = TBorderKind::Sizeable;
  else
    FBorderKind = TBorderKind::Fixed;

  FHasSysMenu = (style & WS_SYSMENU) != 0;
  FHasMinBox = (style & WS_MINIMIZEBOX) != 0;
  FHasMaxBox = (style & WS_MAXIMIZEBOX) != 0;
  FHasHelpBox = (exStyle & WS_EX_CONTEXTHELP) != 0;
}

TShowState TSkinForm::ShowState() const {
  if (IsIconic(FHandle)) return TShowState::Minimized;
  if (IsZoomed(FHandle)) return TShowState::Maximized;
  return TShowState::Normal;
}

void TSkinForm::ReadMetrics() {
  FMetrics = {};
  if (!FDrawFrame || !FSkin || FBorderKind == TBorderKind::NoCaption) return;
  const TSkin& skin = *FSkin;
  FMetrics.Left = skin.Left.Present() ? skin.Left.Image.Width / skin.Left.Frames() : 0;
  FMetrics.Right = skin.Right.Present() ? skin.Right.Image.Width / skin.Right.Frames() : 0;
  FMetrics.Caption = skin.Top.Present() ? skin.Top.Image.Height : GetSystemMetrics(SM_CYCAPTION);
  FMetrics.Bottom = skin.Bottom.Present() ? skin.Bottom.Image.Height : 0;
  FMetrics.MenuBar = FMenuBar ? GetSystemMetrics(SM_CYMENU) : 0;
}

void TSkinForm::ReadButtons() {
  FButtons.clear();
  FHotButton = -1;
  FPressedButton = -1;
  if (!FSkin) return;
  const auto& definitions = FSkin->CaptionButtons;
  for (size_t i = 0; i < definitions.size(); ++i) {
    const TSkinCaptionButton& definition = definitions[i];
    if (definition.Action == -1 && definition.Visibility == 0) continue;
    TCaptionButton button;
    button.Action = definition.Action;
    button.Align = definition.Align;
    button.Xcoord = definition.Xcoord;
    button.Ycoord = definition.Ycoord;
    button.Visibility = definition.Visibility;
    button.Visibility1 = definition.Visibility1;
    button.Frames = definition.Frame > 0 ? definition.Frame : 1;
    button.Width = definition.FrameWidth();
    button.Height = definition.Image.Height;
    button.Definition = i;
    FButtons.push_back(button);
  }
}

}  // namespace skin
