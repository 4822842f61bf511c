#include "tray/Docking.h"

#include <algorithm>

namespace dock {

RECT ClampToScreen(const RECT& dragged, const RECT& screen) {
  const LONG width = dragged.right - dragged.left;
  const LONG height = dragged.bottom - dragged.top;
  RECT clamped;
  clamped.left = std::min(std::max(screen.left, dragged.left), screen.right - width);
  clamped.top = std::min(std::max(screen.top, dragged.top), screen.bottom - height);
  clamped.right = std::min(std::max(screen.left + width, dragged.right), screen.right);
  clamped.bottom = std::min(std::max(screen.top + height, dragged.bottom), screen.bottom);
  return clamped;
}

TDockEdges ComputeDockedEdges(const RECT& window, const RECT& screen) {
  TDockEdges edges = kNoEdge;
  if (window.left == screen.left) edges |= kLeftEdge;
  if (window.right == screen.right) edges |= kRightEdge;
  if (window.top == screen.top) edges |= kTopEdge;
  if (window.bottom == screen.bottom) edges |= kBottomEdge;
  return edges;
}

POINT SlidePosition(const RECT& window, TDockEdges edges, const RECT& screen, bool cursorInside) {
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  POINT position{window.left, window.top};
  if (edges & kLeftEdge) {
    position.x = cursorInside ? screen.left : screen.left + kVisibleStrip - width;
  }
  if (edges & kTopEdge) {
    position.y = cursorInside ? screen.top : screen.top + kVisibleStrip - height;
  }
  if (edges & kRightEdge) {
    position.x = cursorInside ? screen.right - width : screen.right - kVisibleStrip;
  }
  if (edges & kBottomEdge) {
    position.y = cursorInside ? screen.bottom - height : screen.bottom - kVisibleStrip;
  }
  return position;
}

RECT PrimaryScreenRect() {
  return RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

bool CursorOverWindow(HWND window) {
  POINT cursor{};
  if (!window || !GetCursorPos(&cursor)) return false;
  HWND under = WindowFromPoint(cursor);
  return under && (under == window || GetAncestor(under, GA_ROOT) == window);
}

}  // namespace dock
