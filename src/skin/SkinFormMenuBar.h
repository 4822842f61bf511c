// The skinned menu bar of a framed window: the window's own menu, taken off the window
// and drawn by the frame below its caption. Items are laid out left to right; an item
// with a sub-menu opens it as a popup menu under the item, an item without one sends
// its command to the window, as the system menu bar does.
//
// It owns nothing but its layout: the menu stays the window's (given back at detach).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace skin {

struct TSkin;
class TSkinPainter;

class TSkinFormMenuBar {
 public:
  TSkinFormMenuBar(HWND window, HMENU menu) : FWindow(window), FMenu(menu) {}

  HMENU Menu() const { return FMenu; }
  int ItemCount() const { return static_cast<int>(FItems.size()); }
  std::wstring Caption(int item) const;
  // The item's rectangle in window coordinates (after Layout).
  RECT ItemRect(int item) const { return FItems[static_cast<size_t>(item)].Rect; }

  // Lays the items out in `bar` (window coordinates), measured with `font`.
  void Layout(const RECT& bar, HFONT font);
  // The item under a window point, or -1.
  int ItemAt(POINT windowPoint) const;
  // The item whose caption has `key` as its access key ("&C"), or -1.
  int FindAccessKey(wchar_t key) const;

  int Hot() const { return FHot; }
  void SetHot(int item) { FHot = item; }

  // Paints the bar into dc whose origin is the window's top-left corner.
  void Paint(HDC dc, const TSkin* skin, TSkinPainter& painter, HFONT font, bool active);

  // The item drawn pressed while its menu is open (-1: none).
  void SetOpen(int item) { FOpen = item; }
  // Opens an item: its popup menu under the item until the user picks or dismisses it
  // (the pick arrives as WM_COMMAND), or posts the item's command. Returns the item to
  // open next when the user moved on with the Left or Right key or the mouse, else -1.
  // Touches nothing of the bar after the menu loop, which may have destroyed the
  // window and the bar.
  int Track(int item) const;

 private:
  struct TItem {
    std::wstring Caption;
    RECT Rect{};
  };
  HWND FWindow;
  HMENU FMenu;
  RECT FBar{};
  std::vector<TItem> FItems;
  int FHot = -1;
  int FOpen = -1;
};

}  // namespace skin
