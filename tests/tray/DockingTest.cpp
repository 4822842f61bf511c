// Docking geometry: the dragged window stays on the screen, touching edges docks it,
// and a docked window slides in under the cursor and out leaving a 5-pixel strip.
// Pure functions: no window, no cursor.
#include "tray/Docking.h"

#include <gtest/gtest.h>

using namespace dock;

namespace {

const RECT kScreen{0, 0, 1024, 768};
constexpr LONG kWidth = 300;
constexpr LONG kHeight = 200;

RECT WindowAt(LONG left, LONG top) {
  return RECT{left, top, left + kWidth, top + kHeight};
}

void ExpectRect(const RECT& expected, const RECT& actual) {
  EXPECT_EQ(expected.left, actual.left);
  EXPECT_EQ(expected.top, actual.top);
  EXPECT_EQ(expected.right, actual.right);
  EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST(DockClamp, DraggingPastAnEdgeStopsAtItAndDocks) {
  struct TCase {
    RECT dragged;
    RECT clamped;
    TDockEdges edges;
  } cases[] = {
      {WindowAt(-40, 100), WindowAt(0, 100), kLeftEdge},
      {WindowAt(100, -1), WindowAt(100, 0), kTopEdge},
      {WindowAt(1024 - kWidth + 1, 100), WindowAt(1024 - kWidth, 100), kRightEdge},
      {WindowAt(100, 2000), WindowAt(100, 768 - kHeight), kBottomEdge},
      {WindowAt(-5000, -5000), WindowAt(0, 0), kLeftEdge | kTopEdge},
      {WindowAt(5000, 5000), WindowAt(1024 - kWidth, 768 - kHeight), kRightEdge | kBottomEdge},
      {WindowAt(-10, 900), WindowAt(0, 768 - kHeight), kLeftEdge | kBottomEdge},
      {WindowAt(0, 0), WindowAt(0, 0), kLeftEdge | kTopEdge},  // dropped exactly at (0, 0)
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "dragged to " << c.dragged.left << "," << c.dragged.top);
    RECT clamped = ClampToScreen(c.dragged, kScreen);
    ExpectRect(c.clamped, clamped);
    EXPECT_EQ(c.edges, ComputeDockedEdges(clamped, kScreen));
  }
}

TEST(DockClamp, DraggingAwayFromTheEdgesUndocks) {
  RECT docked = ClampToScreen(WindowAt(-30, 50), kScreen);
  ASSERT_EQ(kLeftEdge, ComputeDockedEdges(docked, kScreen));
  RECT away = ClampToScreen(WindowAt(1, 50), kScreen);
  ExpectRect(WindowAt(1, 50), away);
  EXPECT_EQ(kNoEdge, ComputeDockedEdges(away, kScreen));
  RECT nearCorner = ClampToScreen(WindowAt(1024 - kWidth - 1, 768 - kHeight - 1), kScreen);
  EXPECT_EQ(kNoEdge, ComputeDockedEdges(nearCorner, kScreen));
}

TEST(DockClamp, ScreenWideWindowTouchesBothSides) {
  RECT wide{-20, 300, 1004, 400};
  RECT clamped = ClampToScreen(wide, kScreen);
  ExpectRect(RECT{0, 300, 1024, 400}, clamped);
  EXPECT_EQ(kLeftEdge | kRightEdge, ComputeDockedEdges(clamped, kScreen));
}

TEST(DockClamp, ScreenWithAnOffsetOrigin) {
  const RECT screen{-1024, 100, 0, 868};
  RECT clamped = ClampToScreen(RECT{-1100, 50, -800, 250}, screen);
  ExpectRect(RECT{-1024, 100, -724, 300}, clamped);
  EXPECT_EQ(kLeftEdge | kTopEdge, ComputeDockedEdges(clamped, screen));
}

TEST(DockSlide, EachEdgeSlidesInFlushAndOutToAFivePixelStrip) {
  struct TCase {
    RECT window;
    TDockEdges edges;
    POINT in;
    POINT out;
  } cases[] = {
      {WindowAt(0, 100), kLeftEdge, {0, 100}, {5 - kWidth, 100}},
      {WindowAt(100, 0), kTopEdge, {100, 0}, {100, 5 - kHeight}},
      {WindowAt(724, 100), kRightEdge, {1024 - kWidth, 100}, {1024 - 5, 100}},
      {WindowAt(100, 568), kBottomEdge, {100, 768 - kHeight}, {100, 768 - 5}},
      // The (0, 0) corner leaves a 5 x 5 corner visible.
      {WindowAt(0, 0), kLeftEdge | kTopEdge, {0, 0}, {5 - kWidth, 5 - kHeight}},
      {WindowAt(724, 568), kRightEdge | kBottomEdge, {724, 568}, {1019, 763}},
      {WindowAt(123, 45), kNoEdge, {123, 45}, {123, 45}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "edges " << c.edges);
    POINT in = SlidePosition(c.window, c.edges, kScreen, true);
    EXPECT_EQ(c.in.x, in.x);
    EXPECT_EQ(c.in.y, in.y);
    POINT out = SlidePosition(c.window, c.edges, kScreen, false);
    EXPECT_EQ(c.out.x, out.x);
    EXPECT_EQ(c.out.y, out.y);
  }
}

TEST(DockSlide, SlidingBackAndForthIsStable) {
  // A slid-out window slides in to exactly where it was docked, and out again.
  RECT window = WindowAt(0, 0);
  for (int i = 0; i < 3; ++i) {
    POINT out = SlidePosition(window, kLeftEdge | kTopEdge, kScreen, false);
    window = RECT{out.x, out.y, out.x + kWidth, out.y + kHeight};
    EXPECT_EQ(5 - kWidth, window.left);
    POINT in = SlidePosition(window, kLeftEdge | kTopEdge, kScreen, true);
    window = RECT{in.x, in.y, in.x + kWidth, in.y + kHeight};
    EXPECT_EQ(0, window.left);
    EXPECT_EQ(0, window.top);
  }
  // A full-width window docked left and right: right comes last and wins.
  POINT wide = SlidePosition(RECT{0, 300, 1024, 400}, kLeftEdge | kRightEdge, kScreen, false);
  EXPECT_EQ(1024 - 5, wide.x);
}

}  // namespace
