// Skinned popup menus: the "#32768" window of an open popup menu is subclassed and its
// whole client area painted from "MenuBackground", the highlighted entry from
// "MenuItem". The menu keeps its system layout (the items are measured before the
// window exists), and the menu itself (HMENU) is never changed.
//
// While a menu is open the system's menu loop draws a newly highlighted entry straight
// onto the window; a window timer, which that loop dispatches, notices the change and
// paints the menu again.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "skin/SkinControlKinds.h"

namespace skin {

namespace {

constexpr UINT_PTR kHighlightTimer = 0x5343;
constexpr UINT kHighlightPeriodMs = 40;
constexpr UINT kGetMenu = 0x01E1;  // MN_GETHMENU

class TMenuWindowSkin : public TPaintedControl {
 public:
  TMenuWindowSkin(HWND menuWindow, const TSkinControlContext& context)
      : TPaintedControl(menuWindow, context) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    // The menu font: the system measured the entries with it.
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
      FMenuFont.Reset(CreateFontIndirectW(&metrics.lfMenuFont));
  }
  ~TMenuWindowSkin() override {
    if (FHandle) KillTimer(FHandle, kHighlightTimer);
    Unskin();
  }

  void Start() {
    Attach();
    SetTimer(FHandle, kHighlightTimer, kHighlightPeriodMs, nullptr);
  }

 protected:
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
    if (message == WM_TIMER && wParam == kHighlightTimer) {
      if (Highlighted() != FPaintedHighlight) Repaint();
      return 0;
    }
    return TPaintedControl::WindowProc(message, wParam, lParam);
  }

  bool RepaintsAfter(UINT message) const override {
    return message == WM_KEYDOWN || message == WM_MOUSEMOVE || message == WM_SHOWWINDOW;
  }

  void Paint(HDC dc, const RECT& client) override {
    HMENU menu = Menu();
    FPaintedHighlight = Highlighted();
    const TSkinElement* background = Skin().Element("MenuBackground");
    if (background) {
      FPainter.DrawElement(dc, *background, 0, client);
    } else {
      TGdiBrush brush(CreateSolidBrush(TableColour(Skin().Colours.Menu, COLOR_MENU)));
      FillRect(dc, &client, brush.Get());
    }
    if (!menu) return;
    TSelectObject font(dc, FMenuFont ? static_cast<HFONT>(FMenuFont.Get())
                                     : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)));
    SetBkMode(dc, TRANSPARENT);
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) PaintItem(dc, menu, i);
  }

 private:
  HMENU Menu() const { return reinterpret_cast<HMENU>(SendMessageW(FHandle, kGetMenu, 0, 0)); }

  int Highlighted() const {
    HMENU menu = Menu();
    int count = menu ? GetMenuItemCount(menu) : 0;
    for (int i = 0; i < count; ++i)
      if (GetMenuState(menu, i, MF_BYPOSITION) & MF_HILITE) return i;
    return -1;
  }

  void PaintItem(HDC dc, HMENU menu, int index) {
    RECT item{};
    if (!GetMenuItemRect(FHandle, menu, index, &item)) return;
    MapWindowPoints(nullptr, FHandle, reinterpret_cast<POINT*>(&item), 2);
    wchar_t text[256] = L"";
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_STRING | MIIM_SUBMENU;
    info.dwTypeData = text;
    info.cch = 255;
    if (!GetMenuItemInfoW(menu, index, TRUE, &info)) return;
    if (info.fType & MFT_SEPARATOR) {
      RECT line{item.left + 2, (item.top + item.bottom) / 2 - 1, item.right - 2, 0};
      line.bottom = line.top + 2;
      DrawEdge(dc, &line, EDGE_ETCHED, BF_TOP);
      return;
    }
    bool disabled = (info.fState & (MFS_DISABLED | MFS_GRAYED)) != 0;
    bool highlighted = (info.fState & MFS_HILITE) != 0;
    const TSkinElement* itemElement = Skin().Element("MenuItem");
    COLORREF textColour = TableColour(Skin().Colours.MenuText, COLOR_MENUTEXT);
    if (highlighted) {
      if (itemElement) {
        FPainter.DrawElement(dc, *itemElement, 0, item);
      } else {
        TGdiBrush brush(CreateSolidBrush(TableColour(Skin().Colours.Hilight, COLOR_HIGHLIGHT)));
        FillRect(dc, &item, brush.Get());
      }
      textColour = TableColour(Skin().Colours.HilightText, COLOR_HIGHLIGHTTEXT);
      if (itemElement) textColour = ElementTextColour(*itemElement, 1, textColour);
    }
    if (disabled) textColour = GetSysColor(COLOR_GRAYTEXT);
    SetTextColor(dc, textColour);

    int mark = GetSystemMetrics(SM_CXMENUCHECK);
    if (info.fState & MFS_CHECKED) {
      int top = (item.top + item.bottom - 16) / 2;
      if (FContext.MenuImages) {
        ImageList_Draw(FContext.MenuImages, 0, dc, item.left + 2, top, ILD_TRANSPARENT);
      } else {
        TGdiPen pen(CreatePen(PS_SOLID, 2, textColour));
        TSelectObject select(dc, pen.Get());
        POINT tick[] = {
            {item.left + 5, top + 8}, {item.left + 8, top + 11}, {item.left + 13, top + 4}};
        Polyline(dc, tick, 3);
      }
    }
    RECT label = item;
    label.left += mark + 6;
    label.right -= mark + 2;
    std::wstring caption(text);
    size_t tab = caption.find(L'\t');
    std::wstring shortcut = tab == std::wstring::npos ? L"" : caption.substr(tab + 1);
    caption = caption.substr(0, tab);
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (!shortcut.empty())
      DrawTextW(dc, shortcut.c_str(), static_cast<int>(shortcut.size()), &label,
                DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    if (info.hSubMenu) {
      int middle = (item.top + item.bottom) / 2;
      int right = item.right - 6;
      POINT arrow[] = {{right - 4, middle - 4}, {right, middle}, {right - 4, middle + 4}};
      TGdiBrush brush(CreateSolidBrush(textColour));
      TGdiPen pen(CreatePen(PS_SOLID, 1, textColour));
      TSelectObject selectBrush(dc, brush.Get());
      TSelectObject selectPen(dc, pen.Get());
      Polygon(dc, arrow, 3);
    }
  }

  TGdiFont FMenuFont;
  int FPaintedHighlight = -1;
};

class TSkinPopMenuWindow : public TSkinPopMenu {
 public:
  TSkinPopMenuWindow(HWND menuWindow, const TSkinControlContext& context)
      : TSkinPopMenu(menuWindow), FSkin(menuWindow, context) {
    FSkin.Start();
  }

 private:
  TMenuWindowSkin FSkin;
};

}  // namespace

std::unique_ptr<TSkinPopMenu> CreateSkinPopMenu(HWND menuWindow,
                                                const TSkinControlContext& context) {
  if (!menuWindow || !IsWindow(menuWindow) || !context.Skin) return nullptr;
  if (WindowClassOf(menuWindow) != L"#32768") return nullptr;
  if (!context.Skin->Element("MenuItem") && !context.Skin->Element("MenuBackground"))
    return nullptr;
  return std::make_unique<TSkinPopMenuWindow>(menuWindow, context);
}

}  // namespace skin
