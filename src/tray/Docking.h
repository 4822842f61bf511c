// Edge docking of the main window, as geometry: where a dragged window may go, which
// screen edges it touches, and where a docked window sits when slid in or out. The
// functions are pure except the last two, which read the screen and the cursor; the
// main window keeps the state (its docked edges and the dock timer) itself.
//
// It does not move windows and keeps no state. Rectangles are in screen pixels with
// exclusive right and bottom, as Win32 has them.
#pragma once

#include <windows.h>

namespace dock {

// Screen edges a window is docked to, as flags.
using TDockEdges = unsigned;
constexpr TDockEdges kNoEdge = 0;
constexpr TDockEdges kLeftEdge = 0x1;
constexpr TDockEdges kTopEdge = 0x2;
constexpr TDockEdges kRightEdge = 0x4;
constexpr TDockEdges kBottomEdge = 0x8;

// How much of a slid-out window stays on screen, in pixels.
constexpr int kVisibleStrip = 5;

// The dragged rectangle moved back onto the screen, keeping its size: each side is
// clamped on its own, so a window larger than the screen ends flush with the right
// or bottom edge.
RECT ClampToScreen(const RECT& dragged, const RECT& screen);

// The screen edges the (clamped) window rectangle touches: a corner gives two edges,
// a window as wide as the screen both left and right.
TDockEdges ComputeDockedEdges(const RECT& window, const RECT& screen);

// The top-left corner of a docked window: slid in (flush with each docked edge) when
// the cursor is over it, else slid out leaving kVisibleStrip pixels at each docked
// edge. Edges apply in the order left, top, right, bottom; without edges the window
// stays where it is.
POINT SlidePosition(const RECT& window, TDockEdges edges, const RECT& screen, bool cursorInside);

// The primary display, read from the system metrics now (never cached).
RECT PrimaryScreenRect();

// Whether the cursor is over the window or any of its child controls.
bool CursorOverWindow(HWND window);

}  // namespace dock
