// The skin of a list view: its header from "Headerbar", its scroll bars (drawn in the
// list view's non-client area) from "VertScroll"/"HorzScroll", their thumbs and the
// arrow frames of "Scrollbar". The list items keep the system look.
//
// Frames of "Scrollbar": four per arrow (normal, hot, pressed, disabled), in the order
// up, down, left, right. Frames of "Headerbar": 0 normal, 1 hot, 2 pressed.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "skin/SkinControlKinds.h"

namespace skin {

namespace {

class TSkinHeader : public TPaintedControl {
 public:
  TSkinHeader(HWND header, const TSkinControlContext& context, const TSkinElement& bar)
      : TPaintedControl(header, context), FBar(bar) {}

 protected:
  bool RepaintsAfter(UINT message) const override {
    return (message == WM_MOUSEMOVE && GetCapture() == FHandle) ||
           TPaintedControl::RepaintsAfter(message);
  }
  // The list sends these at every row it adds or changes: the header is painted again
  // once, at the next paint, not at each of them.
  bool InvalidatesAfter(UINT message) const override {
    return message == HDM_INSERTITEMW || message == HDM_SETITEMW || message == HDM_DELETEITEM ||
           message == HDM_LAYOUT;
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN) {
      HDHITTESTINFO hit{};
      hit.pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
      SendMessageW(FHandle, HDM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
      int item = (hit.flags & HHT_ONHEADER) ? hit.iItem : -1;
      if (message == WM_LBUTTONDOWN) FPressedItem = item;
      if (message == WM_MOUSEMOVE && item != FHotItem) {
        FHotItem = item;
        FHot = false;  // repaint, and track the leave again
      }
    } else if (message == WM_LBUTTONUP || message == WM_CAPTURECHANGED) {
      FPressedItem = -1;
    } else if (message == WM_MOUSELEAVE) {
      FHotItem = -1;
    }
    return TPaintedControl::WindowProc(message, wParam, lParam);
  }

  void Paint(HDC dc, const RECT& client) override {
    FPainter.DrawElement(dc, FBar, 0, client);
    int count = static_cast<int>(SendMessageW(FHandle, HDM_GETITEMCOUNT, 0, 0));
    TSelectObject font(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    COLORREF text = TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT);
    for (int i = 0; i < count; ++i) {
      RECT item{};
      SendMessageW(FHandle, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
      int state = i == FPressedItem ? 2 : i == FHotItem ? 1 : 0;
      FPainter.DrawElement(dc, FBar, ClampFrame(state, FBar.Frames()), item);
      wchar_t caption[128] = L"";
      HDITEMW info{};
      info.mask = HDI_TEXT | HDI_FORMAT;
      info.pszText = caption;
      info.cchTextMax = 127;
      SendMessageW(FHandle, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&info));
      UINT align = (info.fmt & HDF_JUSTIFYMASK) == HDF_CENTER  ? DT_CENTER
                   : (info.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT ? DT_RIGHT
                                                               : DT_LEFT;
      InflateRect(&item, -6, 0);
      SetTextColor(dc, ElementTextColour(FBar, state, text));
      DrawTextW(dc, caption, -1, &item,
                align | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
  }

 private:
  const TSkinElement& FBar;
  int FHotItem = -1;
  int FPressedItem = -1;
};

// The list view itself: after the system has drawn the non-client area, and whenever a
// message has moved a scroll bar, its scroll bars are drawn again from the skin.
class TSkinListView : public TSkinControl {
 public:
  TSkinListView(HWND list, const TSkinControlContext& context)
      : TSkinControl(list, context), FSkin(*context.Skin) {
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const TSkinElement* bar = FSkin.Element("Headerbar");
    if (header && bar) {
      FHeader = std::make_unique<TSkinHeader>(header, context, *bar);
      FHeader->Attach();
    }
  }
  ~TSkinListView() override {
    *FAlive = false;
    Unskin();
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    static const UINT repaintBars = RegisterWindowMessageW(L"VornisSkinScrollBars");
    if (message == repaintBars) {
      FRepaintPosted = false;
      if (FRedraw) PaintScrollBars(nullptr);
      return 0;
    }
    // While the program holds the list's repaint (filling thousands of rows), the bars
    // are drawn once when it lets go, not at every row.
    if (message == WM_SETREDRAW) FRedraw = wParam != FALSE;
    // The list's notifications run the program's handlers, which may free us.
    auto alive = FAlive;
    LRESULT result = Default(message, wParam, lParam);
    if (!*alive || !FHandle) return result;
    if (message == WM_NCPAINT && !FRedraw) return result;
    if (message == WM_NCPAINT || (message == WM_PRINT && (lParam & PRF_NONCLIENT))) {
      PaintScrollBars(message == WM_PRINT ? reinterpret_cast<HDC>(wParam) : nullptr);
    } else if (MayRedrawBars(message) && !FRepaintPosted) {
      // The list view sets its bars from many places (its first paint sets the ranges,
      // for one), and the system redraws a bar at each setting; one repaint after a
      // burst of such messages covers them all.
      FRepaintPosted = PostMessageW(FHandle, repaintBars, 0, 0) != FALSE;
    }
    return result;
  }

 private:
  static bool MayRedrawBars(UINT message) {
    switch (message) {
      case WM_PAINT:
      case WM_SIZE:
      case WM_WINDOWPOSCHANGED:
      case WM_SHOWWINDOW:
      case WM_STYLECHANGED:
      case WM_ENABLE:
      case WM_SETREDRAW:
      case WM_VSCROLL:
      case WM_HSCROLL:
      case WM_MOUSEWHEEL:
      case WM_KEYDOWN:
      case WM_TIMER:
      case WM_LBUTTONUP:
      case WM_CAPTURECHANGED:
        return true;
      default:
        return message >= LVM_FIRST && message < LVM_FIRST + 0x100;
    }
  }

  // Draws both bars into the window's DC, or into `given` (a WM_PRINT target).
  void PaintScrollBars(HDC given) {
    SCROLLBARINFO vertical{}, horizontal{};
    vertical.cbSize = horizontal.cbSize = sizeof(SCROLLBARINFO);
    GetScrollBarInfo(FHandle, OBJID_VSCROLL, &vertical);
    GetScrollBarInfo(FHandle, OBJID_HSCROLL, &horizontal);
    HDC dc = given ? given : GetWindowDC(FHandle);
    if (!dc) return;
    RECT window{};
    GetWindowRect(FHandle, &window);
    PaintBar(dc, vertical, window, true);
    PaintBar(dc, horizontal, window, false);
    if (!given) ReleaseDC(FHandle, dc);
  }

  void PaintBar(HDC dc, const SCROLLBARINFO& info, const RECT& window, bool vertical) {
    if (info.rgstate[0] & (STATE_SYSTEM_INVISIBLE | STATE_SYSTEM_OFFSCREEN)) return;
    RECT bar = info.rcScrollBar;
    OffsetRect(&bar, -window.left, -window.top);
    int width = bar.right - bar.left;
    int height = bar.bottom - bar.top;
    if (width <= 0 || height <= 0) return;
    TMemoryDC memory(dc);
    TGdiBitmap bitmap = CreateDib(width, height);
    if (!memory.Get() || !bitmap) return;
    TSelectObject select(memory.Get(), bitmap.Get());
    HDC m = memory.Get();
    RECT all{0, 0, width, height};
    bool disabled = (info.rgstate[0] & STATE_SYSTEM_UNAVAILABLE) != 0;
    int arrow = info.dxyLineButton;
    RECT first = vertical ? RECT{0, 0, width, arrow} : RECT{0, 0, arrow, height};
    RECT last =
        vertical ? RECT{0, height - arrow, width, height} : RECT{width - arrow, 0, width, height};
    RECT track =
        vertical ? RECT{0, arrow, width, height - arrow} : RECT{arrow, 0, width - arrow, height};

    const TSkinElement* trackElement = FSkin.Element(vertical ? "VertScroll" : "HorzScroll");
    if (trackElement) {
      FPainter.DrawElement(m, *trackElement, ClampFrame(disabled ? 3 : 0, trackElement->Frames()),
                           track);
    } else {
      TGdiBrush brush(CreateSolidBrush(FSkin.Colours.Scrollbar.Set
                                           ? ToColorRef(FSkin.Colours.Scrollbar.Rgb())
                                           : GetSysColor(COLOR_SCROLLBAR)));
      FillRect(m, &all, brush.Get());
    }
    const TSkinElement* arrows = FSkin.Element("Scrollbar");
    int state = disabled ? 3 : 0;
    int base = vertical ? 0 : 8;
    if (arrows) {
      FPainter.DrawElement(m, *arrows, ClampFrame(base + state, arrows->Frames()), first);
      FPainter.DrawElement(m, *arrows, ClampFrame(base + 4 + state, arrows->Frames()), last);
    } else {
      UINT inactive = disabled ? DFCS_INACTIVE : 0;
      DrawFrameControl(m, &first, DFC_SCROLL,
                       (vertical ? DFCS_SCROLLUP : DFCS_SCROLLLEFT) | inactive);
      DrawFrameControl(m, &last, DFC_SCROLL,
                       (vertical ? DFCS_SCROLLDOWN : DFCS_SCROLLRIGHT) | inactive);
    }
    if (!disabled && info.xyThumbBottom > info.xyThumbTop) {
      RECT thumb = vertical ? RECT{0, info.xyThumbTop, width, info.xyThumbBottom}
                            : RECT{info.xyThumbTop, 0, info.xyThumbBottom, height};
      const TSkinElement* thumbElement =
          FSkin.Element(vertical ? "VertScrollThumb" : "HorzScrollThumb");
      if (thumbElement)
        FPainter.DrawElement(m, *thumbElement, 0, thumb);
      else
        DrawEdge(m, &thumb, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    }
    BitBlt(dc, bar.left, bar.top, width, height, m, 0, 0, SRCCOPY);
  }

  const TSkin& FSkin;
  TSkinPainter FPainter;
  std::unique_ptr<TSkinHeader> FHeader;
  bool FRepaintPosted = false;
  bool FRedraw = true;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
};

}  // namespace

std::unique_ptr<TSkinControl> CreateListSkin(std::wstring_view kind, HWND control,
                                             const TSkinControlContext& context) {
  if (kind != L"scrollbar" || WindowClassOf(control) != L"syslistview32") return nullptr;
  const TSkin& skin = *context.Skin;
  if (!skin.Element("Headerbar") && !skin.Element("Scrollbar") && !skin.Element("VertScroll") &&
      !skin.Element("HorzScroll"))
    return nullptr;
  return Attached<TSkinListView>(control, context);
}

}  // namespace skin
