// The subclassing shared by every skinned control, and the factories that pick the
// skin object for a kind of control.
#include "skin/SkinControls.h"

#include <windows.h>

#include <commctrl.h>

#include <cwctype>
#include <string>

#include "skin/SkinControlKinds.h"
#include "ui/Subclass.h"

namespace skin {

TSkinControl::TSkinControl(HWND control, const TSkinControlContext& context)
    : FHandle(control), FContext(context) {}

TSkinControl::~TSkinControl() {
  Unskin();
}

void TSkinControl::Attach() {
  if (!FHandle || FAttached) return;
  FAttached = ui::SetSubclass(FHandle, SubclassProc, reinterpret_cast<UINT_PTR>(this),
                              reinterpret_cast<DWORD_PTR>(this)) != FALSE;
  RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TSkinControl::Unskin() {
  if (!FAttached) return;
  FAttached = false;
  if (!FHandle) return;
  ui::RemoveSubclass(FHandle, SubclassProc, reinterpret_cast<UINT_PTR>(this));
  Restore();
  RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

LRESULT TSkinControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT TSkinControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return ui::DefSubclass(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TSkinControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data) {
  auto* self = reinterpret_cast<TSkinControl*>(data);
  if (message == WM_NCDESTROY) {
    // The window goes: detach once, and never touch the handle again.
    ui::RemoveSubclass(window, SubclassProc, id);
    self->FAttached = false;
    self->FHandle = nullptr;
    return ui::DefSubclass(window, message, wParam, lParam);
  }
  return self->WindowProc(message, wParam, lParam);
}

TPaintedControl::TPaintedControl(HWND control, const TSkinControlContext& context)
    : TSkinControl(control, context) {}

TPaintedControl::~TPaintedControl() {
  *FAlive = false;
  Unskin();
}

bool TPaintedControl::RepaintsAfter(UINT message) const {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_SETFONT:
    case WM_CAPTURECHANGED:
    case WM_UPDATEUISTATE:
    case WM_SIZE:
      return true;
    default:
      return false;
  }
}

LRESULT TPaintedControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  bool repaint = RepaintsAfter(message);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      if (FDeferPaint && !wParam) {
        // The control asks to be painted while it handles a message of a burst: it is
        // painted whole at the next paint instead (invalidated below).
        ValidateRect(FHandle, nullptr);
        return 0;
      }
      if (wParam) {
        PaintTo(reinterpret_cast<HDC>(wParam));
      } else {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(FHandle, &ps);
        if (dc) PaintTo(dc);
        EndPaint(FHandle, &ps);
      }
      return 0;
    case WM_PRINTCLIENT:
      PaintTo(reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_MOUSEMOVE:
      if (!FHot) {
        FHot = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, FHandle, 0};
        TrackMouseEvent(&track);
        repaint = true;
      }
      break;
    case WM_MOUSELEAVE:
      FHot = false;
      repaint = true;
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (HoldsControls())
        return ChildBackground(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
      break;
    default:
      break;
  }
  bool invalidate = InvalidatesAfter(message);
  auto alive = AliveToken();
  bool deferring = FDeferPaint;
  if (invalidate) FDeferPaint = true;
  LRESULT result = Default(message, wParam, lParam);
  if (!*alive || !FHandle) return result;
  FDeferPaint = deferring;
  if (repaint)
    Repaint();
  else if (invalidate)
    InvalidateRect(FHandle, nullptr, FALSE);
  return result;
}

LRESULT TPaintedControl::ChildBackground(HDC dc, HWND child) {
  SetTextColor(dc, TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT));
  RECT client{};
  GetClientRect(FHandle, &client);
  if (WindowClassOf(child) != L"edit" && client.right > 0 && client.bottom > 0) {
    if (!FChildBrush) {
      // Texts and buttons on us fill their background with our look, aligned to
      // where they sit, so they show what lies behind them.
      TMemoryDC memory(dc);
      TGdiBitmap look = CreateDib(client.right, client.bottom);
      if (memory.Get() && look) {
        TSelectObject select(memory.Get(), look.Get());
        Paint(memory.Get(), client);
      }
      if (look) FChildBrush.Reset(CreatePatternBrush(look.Get()));
      FChildLook = std::move(look);
    }
    if (FChildBrush) {
      POINT origin{0, 0};
      MapWindowPoints(child, FHandle, &origin, 1);
      SetBrushOrgEx(dc, -origin.x, -origin.y, nullptr);
      SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(FChildBrush.Get());
    }
  }
  if (!FFaceBrush) FFaceBrush.Reset(CreateSolidBrush(FaceColour()));
  SetBkColor(dc, FaceColour());
  return reinterpret_cast<LRESULT>(FFaceBrush.Get());
}

void TPaintedControl::Repaint() {
  if (FHandle) RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TPaintedControl::PaintTo(HDC dc) {
  RECT client{};
  GetClientRect(FHandle, &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  TMemoryDC memory(dc);
  TGdiBitmap bitmap = CreateDib(client.right, client.bottom);
  if (!memory.Get() || !bitmap) return;
  TSelectObject select(memory.Get(), bitmap.Get());
  FChildBrush.Reset();  // the children take our new look
  Paint(memory.Get(), client);
  BitBlt(dc, 0, 0, client.right, client.bottom, memory.Get(), 0, 0, SRCCOPY);
}

COLORREF TPaintedControl::FaceColour() const {
  if (FContext.FaceColour != CLR_INVALID) return FContext.FaceColour;
  if (Skin().Colours.ButtonFace.Set) return ToColorRef(Skin().Colours.ButtonFace.Rgb());
  if (Skin().FaceColour.Set) return ToColorRef(Skin().FaceColour.Rgb());
  return GetSysColor(COLOR_BTNFACE);
}

COLORREF TPaintedControl::TableColour(const TSkinColour& colour, int sysIndex) const {
  return colour.Set ? ToColorRef(colour.Rgb()) : GetSysColor(sysIndex);
}

COLORREF TPaintedControl::ElementTextColour(const TSkinElement& element, int state,
                                            COLORREF other) {
  const TSkinColour& triple = state == 2   ? element.PressedColour2
                              : state == 1 ? element.MouseOverColour2
                                           : element.NormalColour2;
  if (triple.Set) return ToColorRef(triple.Rgb());
  // The integer colours are stored the Windows way, blue in the high byte.
  int value = state == 2   ? element.PressedColour
              : state == 1 ? element.MouseOverColour
                           : element.NormalColour;
  if (value >= 0) return static_cast<COLORREF>(value) & 0xFFFFFF;
  return other;
}

void TPaintedControl::PaintParentBackground(HDC dc, const RECT& rect) const {
  TGdiBrush face(CreateSolidBrush(FaceColour()));
  FillRect(dc, &rect, face.Get());
  HWND parent = GetParent(FHandle);
  if (!parent) return;
  POINT origin{0, 0};
  MapWindowPoints(FHandle, parent, &origin, 1);
  int saved = SaveDC(dc);
  IntersectClipRect(dc, rect.left, rect.top, rect.right, rect.bottom);
  OffsetWindowOrgEx(dc, origin.x, origin.y, nullptr);
  SendMessageW(parent, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  SendMessageW(parent, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
  RestoreDC(dc, saved);
}

HFONT TPaintedControl::Font() const {
  auto font = reinterpret_cast<HFONT>(SendMessageW(FHandle, WM_GETFONT, 0, 0));
  return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

std::wstring WindowClassOf(HWND window) {
  wchar_t name[64] = L"";
  GetClassNameW(window, name, 64);
  std::wstring result(name);
  for (wchar_t& c : result) c = static_cast<wchar_t>(std::towlower(c));
  return result;
}

std::unique_ptr<TSkinControl> CreateSkinControl(std::wstring_view kind, HWND control,
                                                const TSkinControlContext& context) {
  if (!control || !IsWindow(control) || !context.Skin) return nullptr;
  std::wstring lower(kind);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  if (auto skinned = CreateButtonSkin(lower, control, context)) return skinned;
  if (auto skinned = CreateContainerSkin(lower, control, context)) return skinned;
  return CreateListSkin(lower, control, context);
}

TSkinPopMenu::~TSkinPopMenu() = default;

}  // namespace skin
