// Skinned panels (transparent), progress bars, edits and tab controls.
//
// Frames of "Tabs": 0 normal, 1 hot, 2 selected, 3 disabled, 4 selected with focus.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "skin/SkinControlKinds.h"

namespace skin {

namespace {

// A panel shows its parent through: it paints the parent's background behind itself,
// and its static children draw on the skin's face colour.
class TSkinPanel : public TPaintedControl {
 public:
  using TPaintedControl::TPaintedControl;

 protected:
  void Paint(HDC dc, const RECT& client) override { PaintParentBackground(dc, client); }
  bool HoldsControls() const override { return true; }
};

class TSkinProgress : public TPaintedControl {
 public:
  TSkinProgress(HWND control, const TSkinControlContext& context, const TSkinElement& bar,
                const TSkinElement* chunk)
      : TPaintedControl(control, context), FBar(bar), FChunk(chunk) {}

 protected:
  // Transfers report progress in bursts: the bar is painted once, at the next paint,
  // not at every report (a paint draws the parent's background too).
  bool InvalidatesAfter(UINT message) const override {
    return (message >= PBM_SETRANGE && message <= PBM_SETSTEP) || message == PBM_SETRANGE32 ||
           message == PBM_SETBARCOLOR || message == PBM_SETBKCOLOR;
  }

  void Paint(HDC dc, const RECT& client) override {
    PaintParentBackground(dc, client);
    FPainter.DrawElement(dc, FBar, 0, client);
    if (!FChunk) return;
    PBRANGE range{};
    SendMessageW(FHandle, PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    long long position = SendMessageW(FHandle, PBM_GETPOS, 0, 0);
    long long span = static_cast<long long>(range.iHigh) - range.iLow;
    if (span <= 0) return;
    position = std::clamp<long long>(position - range.iLow, 0, span);
    RECT inner{client.left + FBar.LeftWidth, client.top + FBar.TopHeight,
               client.right - FBar.RightWidth, client.bottom - FBar.BottomHeight};
    if (inner.right <= inner.left || inner.bottom <= inner.top) return;
    RECT filled = inner;
    if (GetWindowLongW(FHandle, GWL_STYLE) & PBS_VERTICAL)
      filled.top = inner.bottom - static_cast<int>((inner.bottom - inner.top) * position / span);
    else
      filled.right = inner.left + static_cast<int>((inner.right - inner.left) * position / span);
    if (filled.right > filled.left && filled.bottom > filled.top)
      FPainter.DrawElement(dc, *FChunk, 0, filled);
  }

 private:
  const TSkinElement& FBar;
  const TSkinElement* FChunk;
};

// An edit keeps its client area; only its border ring is drawn from "SunkEdge".
class TSkinEdit : public TSkinControl {
 public:
  TSkinEdit(HWND control, const TSkinControlContext& context, const TSkinElement& edge)
      : TSkinControl(control, context), FEdge(edge) {}
  ~TSkinEdit() override { Unskin(); }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    LRESULT result = Default(message, wParam, lParam);
    if (!FHandle) return result;
    if (message == WM_NCPAINT || message == WM_PRINT) {
      if (message == WM_PRINT && !(lParam & PRF_NONCLIENT)) return result;
      HDC dc = message == WM_PRINT ? reinterpret_cast<HDC>(wParam) : GetWindowDC(FHandle);
      if (dc) PaintBorder(dc);
      if (message == WM_NCPAINT && dc) ReleaseDC(FHandle, dc);
    }
    return result;
  }

 private:
  void PaintBorder(HDC dc) {
    RECT window{};
    GetWindowRect(FHandle, &window);
    OffsetRect(&window, -window.left, -window.top);
    // The ring between the window edge and the client area (scroll bars excluded).
    LONG exStyle = GetWindowLongW(FHandle, GWL_EXSTYLE);
    int ring = (exStyle & WS_EX_CLIENTEDGE)                       ? GetSystemMetrics(SM_CXEDGE)
               : (GetWindowLongW(FHandle, GWL_STYLE) & WS_BORDER) ? 1
                                                                  : 0;
    if (ring == 0) return;
    RECT inner = window;
    InflateRect(&inner, -ring, -ring);
    int saved = SaveDC(dc);
    ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
    FPainter.DrawElement(dc, FEdge, 0, window);
    RestoreDC(dc, saved);
  }

  const TSkinElement& FEdge;
  TSkinPainter FPainter;
};

class TSkinTab : public TPaintedControl {
 public:
  TSkinTab(HWND control, const TSkinControlContext& context, const TSkinElement& tabs,
           const TSkinElement* pane)
      : TPaintedControl(control, context), FTabs(tabs), FPane(pane) {}

 protected:
  bool RepaintsAfter(UINT message) const override {
    return message == TCM_SETCURSEL || message == TCM_INSERTITEMW || message == TCM_DELETEITEM ||
           message == TCM_SETITEMW || message == TCM_SETCURFOCUS ||
           TPaintedControl::RepaintsAfter(message);
  }

  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_MOUSEMOVE) {
      TCHITTESTINFO hit{{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))},
                        0};
      int hot =
          static_cast<int>(SendMessageW(FHandle, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
      if (hot != FHotTab) {
        FHotTab = hot;
        FHot = false;  // the base class tracks the leave and repaints
      }
    } else if (message == WM_MOUSELEAVE) {
      FHotTab = -1;
    }
    return TPaintedControl::WindowProc(message, wParam, lParam);
  }

  void Paint(HDC dc, const RECT& client) override {
    PaintParentBackground(dc, client);
    RECT display = client;
    SendMessageW(FHandle, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&display));
    int count = static_cast<int>(SendMessageW(FHandle, TCM_GETITEMCOUNT, 0, 0));
    int selected = static_cast<int>(SendMessageW(FHandle, TCM_GETCURSEL, 0, 0));
    RECT pane = client;
    if (count > 0) {
      RECT first{};
      SendMessageW(FHandle, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
      pane.top = first.bottom;
    }
    if (FPane) {
      FPainter.DrawElement(dc, *FPane, 0, pane);
    } else {
      DrawEdge(dc, &pane, EDGE_RAISED, BF_RECT);
    }
    bool enabled = IsWindowEnabled(FHandle) != FALSE;
    bool focused = GetFocus() == FHandle;
    TSelectObject font(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    COLORREF textColour = TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT);
    for (int i = 0; i < count; ++i) {
      RECT item{};
      SendMessageW(FHandle, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item));
      int frame = !enabled ? 3 : i == selected ? (focused ? 4 : 2) : i == FHotTab ? 1 : 0;
      if (i == selected) InflateRect(&item, 2, 0), item.top -= 2, item.bottom += 1;
      FPainter.DrawElement(dc, FTabs, ClampFrame(frame, FTabs.Frames()), item);
      wchar_t text[128] = L"";
      TCITEMW info{};
      info.mask = TCIF_TEXT;
      info.pszText = text;
      info.cchTextMax = 127;
      SendMessageW(FHandle, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&info));
      SetTextColor(dc, enabled ? ElementTextColour(FTabs,
                                                   i == selected  ? 2
                                                   : i == FHotTab ? 1
                                                                  : 0,
                                                   textColour)
                               : GetSysColor(COLOR_GRAYTEXT));
      DrawTextW(dc, text, -1, &item, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
  }

 private:
  const TSkinElement& FTabs;
  const TSkinElement* FPane;
  int FHotTab = -1;
};

}  // namespace

std::unique_ptr<TSkinControl> CreateContainerSkin(std::wstring_view kind, HWND control,
                                                  const TSkinControlContext& context) {
  const TSkin& skin = *context.Skin;
  std::wstring windowClass = WindowClassOf(control);
  if ((kind == L"panel" || kind == L"checkgroup") && windowClass != L"button")
    return Attached<TSkinPanel>(control, context);
  if (kind == L"progress" && windowClass == L"msctls_progress32") {
    const TSkinElement* bar = skin.Element("Progress");
    if (!bar) return nullptr;
    return Attached<TSkinProgress>(control, context, *bar, skin.Element("Progress.Chunk"));
  }
  if (kind == L"edit" && windowClass == L"edit") {
    const TSkinElement* edge = skin.Element("SunkEdge");
    if (!edge) return nullptr;
    return Attached<TSkinEdit>(control, context, *edge);
  }
  if (kind == L"tab" || kind == L"advpagecontrol") {
    const TSkinElement* tabs = skin.Element("Tabs");
    if (!tabs) return nullptr;
    if (windowClass == L"systabcontrol32")
      return Attached<TSkinTab>(control, context, *tabs, skin.Element("Tab.Pane"));
    // A page of a tab control lets the skinned pane show through.
    return Attached<TSkinPanel>(control, context);
  }
  return nullptr;
}

}  // namespace skin
