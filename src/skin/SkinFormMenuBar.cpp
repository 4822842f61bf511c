#include "skin/SkinFormMenuBar.h"

#include <cwctype>

#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"

namespace skin {

namespace {

constexpr int kItemPadding = 8;  // pixels left and right of each caption

COLORREF ColourOr(const TSkinColour& colour, int systemIndex) {
  return colour.Set ? ToColorRef(colour.Rgb()) : GetSysColor(systemIndex);
}

}  // namespace

std::wstring TSkinFormMenuBar::Caption(int item) const {
  return FItems[static_cast<size_t>(item)].Caption;
}

void TSkinFormMenuBar::Layout(const RECT& bar, HFONT font) {
  FBar = bar;
  FItems.clear();
  int count = GetMenuItemCount(FMenu);
  HDC dc = GetDC(FWindow);
  HGDIOBJ old = SelectObject(dc, font);
  int x = bar.left;
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(FMenu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, text, -1, &measure, DT_SINGLELINE | DT_CALCRECT);
    int width = measure.right - measure.left + 2 * kItemPadding;
    FItems.push_back({text, RECT{x, bar.top, x + width, bar.bottom}});
    x += width;
  }
  SelectObject(dc, old);
  ReleaseDC(FWindow, dc);
}

int TSkinFormMenuBar::ItemAt(POINT point) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (PtInRect(&FItems[i].Rect, point)) return static_cast<int>(i);
  return -1;
}

int TSkinFormMenuBar::FindAccessKey(wchar_t key) const {
  key = static_cast<wchar_t>(std::towlower(key));
  for (size_t i = 0; i < FItems.size(); ++i) {
    const std::wstring& caption = FItems[i].Caption;
    for (size_t k = 0; k + 1 < caption.size(); ++k) {
      if (caption[k] != L'&') continue;
      if (caption[k + 1] == L'&') {
        ++k;
        continue;
      }
      if (static_cast<wchar_t>(std::towlower(caption[k + 1])) == key) return static_cast<int>(i);
      break;
    }
  }
  return -1;
}

void TSkinFormMenuBar::Paint(HDC dc, const TSkin* skin, TSkinPainter& painter, HFONT font,
                             bool active) {
  if (FBar.right <= FBar.left || FBar.bottom <= FBar.top) return;
  COLORREF back = skin ? ColourOr(skin->Colours.Menubar, COLOR_MENUBAR) : GetSysColor(COLOR_MENU);
  TGdiBrush brush(CreateSolidBrush(back));
  FillRect(dc, &FBar, brush.Get());
  if (skin && !skin->MenuBar.Image.Empty())
    painter.DrawThreeHorizontal(dc, skin->MenuBar.Image, 0, 1, FBar, 0, 0,
                                skin->MenuBar.TileMenu ? TFill::Tile : TFill::Stretch, false);

  COLORREF text = GetSysColor(active ? COLOR_MENUTEXT : COLOR_GRAYTEXT);
  COLORREF hotBack = GetSysColor(COLOR_HIGHLIGHT);
  COLORREF hotText = GetSysColor(COLOR_HIGHLIGHTTEXT);
  if (skin) {
    if (skin->Colours.MenuBarText.Set)
      text = ToColorRef(skin->Colours.MenuBarText.Rgb());
    else if (skin->Colours.MenuText.Set)
      text = ToColorRef(skin->Colours.MenuText.Rgb());
    hotBack = ColourOr(skin->Colours.Hilight, COLOR_HIGHLIGHT);
    hotText = ColourOr(skin->Colours.HilightText, COLOR_HIGHLIGHTTEXT);
  }
  TSelectObject selectFont(dc, font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t i = 0; i < FItems.size(); ++i) {
    RECT rect = FItems[i].Rect;
    bool lit = static_cast<int>(i) == FHot || static_cast<int>(i) == FOpen;
    if (lit) {
      TGdiBrush hot(CreateSolidBrush(hotBack));
      RECT inner{rect.left, rect.top + 1, rect.right, rect.bottom - 1};
      FillRect(dc, &inner, hot.Get());
    }
    SetTextColor(dc, lit ? hotText : text);
    DrawTextW(dc, FItems[i].Caption.c_str(), -1, &rect, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
  }
}

namespace {

// The menu loop of one open bar item: which neighbour the user moved to.
struct TMenuLoop {
  HWND Window = nullptr;
  std::vector<RECT> Items;  // screen coordinates
  int Open = -1;
  int Next = -1;
  HHOOK Hook = nullptr;
};
TMenuLoop* gLoop = nullptr;

LRESULT CALLBACK MenuLoopHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_MENU && gLoop && gLoop->Next < 0) {
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    int count = static_cast<int>(gLoop->Items.size());
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT) &&
        count > 1) {
      int step = msg->wParam == VK_LEFT ? count - 1 : 1;
      gLoop->Next = (gLoop->Open + step) % count;
      EndMenu();
    } else if (msg->message == WM_MOUSEMOVE) {
      POINT cursor{};
      GetCursorPos(&cursor);
      for (int i = 0; i < count; ++i)
        if (i != gLoop->Open && PtInRect(&gLoop->Items[static_cast<size_t>(i)], cursor)) {
          gLoop->Next = i;
          EndMenu();
        }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

int TSkinFormMenuBar::Track(int item) const {
  if (item < 0 || item >= ItemCount()) return -1;
  HWND window = FWindow;
  RECT windowRect{};
  GetWindowRect(window, &windowRect);
  TMenuLoop loop;
  loop.Window = window;
  loop.Open = item;
  for (const TItem& entry : FItems) {
    RECT rect = entry.Rect;
    OffsetRect(&rect, windowRect.left, windowRect.top);
    loop.Items.push_back(rect);
  }
  RECT rect = loop.Items[static_cast<size_t>(item)];
  HMENU sub = GetSubMenu(FMenu, item);
  if (!sub) {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(GetMenuItemID(FMenu, item), 0), 0);
    return -1;
  }
  TMenuLoop* outer = gLoop;
  gLoop = &loop;
  loop.Hook = SetWindowsHookExW(WH_MSGFILTER, MenuLoopHook, nullptr, GetCurrentThreadId());
  TPMPARAMS exclude{sizeof(exclude), rect};
  TrackPopupMenuEx(sub, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_VERTICAL, rect.left,
                   rect.bottom, window, &exclude);
  if (loop.Hook) UnhookWindowsHookEx(loop.Hook);
  gLoop = outer;
  return IsWindow(window) ? loop.Next : -1;
}

}  // namespace skin
