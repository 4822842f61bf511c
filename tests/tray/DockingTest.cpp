// Docking geometry: the dragged window stays on the screen, touching edges docks it,
// and a docked window slides in under the cursor and out leaving a 5-pixel strip.
#include "tray/Docking.h"

#include <gtest/gtest.h>

using namespace dock;

namespace {

const RECT kScreen{0, 0, 1024, 768};
constexpr LONG kW = 300, kH = 200;

RECT At(LONG left, LONG top) {
  return RECT{left, top, left + kW, top + kH};
}

TEST(Docking, DraggingPastAnEdgeStopsAtItAndDocksAwayUndocks) {
  const struct {
    RECT dragged, clamped;
    TDockEdges edges;
  } cases[] = {
      {At(-40, 100), At(0, 100), kLeftEdge},
      {At(100, -1), At(100, 0), kTopEdge},
      {At(1024 - kW + 1, 100), At(1024 - kW, 100), kRightEdge},
      {At(100, 2000), At(100, 768 - kH), kBottomEdge},
      {At(-5000, -5000), At(0, 0), kLeftEdge | kTopEdge},
      {At(0, 0), At(0, 0), kLeftEdge | kTopEdge},
      {At(5000, 5000), At(1024 - kW, 768 - kH), kRightEdge | kBottomEdge},
      {RECT{-20, 300, 1004, 400}, RECT{0, 300, 1024, 400}, kLeftEdge | kRightEdge},
      {At(1, 1), At(1, 1), kNoEdge},
      {At(1024 - kW - 1, 768 - kH - 1), At(1024 - kW - 1, 768 - kH - 1), kNoEdge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "dragged to " << c.dragged.left << "," << c.dragged.top);
    RECT r = ClampToScreen(c.dragged, kScreen);
    EXPECT_EQ(c.clamped.left, r.left);
    EXPECT_EQ(c.clamped.top, r.top);
    EXPECT_EQ(c.clamped.right, r.right);
    EXPECT_EQ(c.clamped.bottom, r.bottom);
    EXPECT_EQ(c.edges, ComputeDockedEdges(r, kScreen));
  }
}

TEST(Docking, EachEdgeSlidesInFlushAndOutToAFivePixelStrip) {
  const struct {
    RECT window;
    TDockEdges edges;
    POINT in, out;
  } cases[] = {
      {At(0, 100), kLeftEdge, {0, 100}, {5 - kW, 100}},
      {At(100, 0), kTopEdge, {100, 0}, {100, 5 - kH}},
      {At(724, 100), kRightEdge, {1024 - kW, 100}, {1019, 100}},
      {At(100, 568), kBottomEdge, {100, 768 - kH}, {100, 763}},
      {At(5 - kW, 5 - kH), kLeftEdge | kTopEdge, {0, 0}, {5 - kW, 5 - kH}},  // 5 x 5 corner
      {At(1019, 763), kRightEdge | kBottomEdge, {724, 568}, {1019, 763}},
      {RECT{0, 300, 1024, 400}, kLeftEdge | kRightEdge, {0, 300}, {1019, 300}},  // right last
      {At(123, 45), kNoEdge, {123, 45}, {123, 45}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "edges " << c.edges);
    POINT in = SlidePosition(c.window, c.edges, kScreen, true);
    POINT out = SlidePosition(c.window, c.edges, kScreen, false);
    EXPECT_EQ(c.in.x, in.x);
    EXPECT_EQ(c.in.y, in.y);
    EXPECT_EQ(c.out.x, out.x);
    EXPECT_EQ(c.out.y, out.y);
  }
}

}  // namespace
