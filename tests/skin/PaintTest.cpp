// Drawing skin images into real DIBs.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>

#include "SkinTestSupport.h"
#include "skin/SkinPaint.h"
#include "skin/SkinRead.h"

using namespace skin;
using namespace skintest;

namespace {

// A DIB to draw into, filled with one colour, whose pixels the test reads back.
struct TCanvas {
  TCanvas(int width, int height, uint32_t fill) : Width(width) {
    Bitmap = CreateDib(width, height, &Bits);
    std::fill(Bits, Bits + width * height, fill);
    Select.emplace(DC.Get(), Bitmap.Get());
  }
  uint32_t At(int x, int y) {
    GdiFlush();
    return Bits[y * Width + x] & 0xFFFFFF;
  }
  int Width;
  uint32_t* Bits = nullptr;
  TGdiBitmap Bitmap;
  TMemoryDC DC;
  std::optional<TSelectObject> Select;
};

// A 6 x 6 image of two frames of 3 x 6: in each frame the top row, the middle rows and
// the bottom row have their own colours, the left column of the middle rows is magenta.
TSkinBitmap TwoFrames() {
  TSkinBitmap image = Solid(6, 6, 0);
  for (int frame = 0; frame < 2; ++frame) {
    for (int y = 0; y < 6; ++y) {
      for (int x = 0; x < 3; ++x) {
        uint32_t colour = y == 0 ? 0x110000 : y == 5 ? 0x330000 : 0x220000 + uint32_t(x);
        if (x == 0 && y > 0 && y < 5) colour = kSkinMagenta;
        image.Pixels[size_t(y) * 6 + size_t(frame) * 3 + size_t(x)] =
            colour + uint32_t(frame) * 0x80;
      }
    }
  }
  return image;
}

}  // namespace

TEST(Paint, CutsKeepFixedPartsAndFillTheMiddle) {
  const TSkinBitmap image = TwoFrames();
  TSkinPainter painter;
  for (TFill fill : {TFill::Stretch, TFill::Tile}) {
    TCanvas canvas(10, 40, 0x00FF00);
    painter.DrawThreeVertical(canvas.DC.Get(), image, 1, 2, RECT{2, 5, 5, 35}, 1, 1, fill, false);
    EXPECT_EQ(canvas.At(4, 5), 0x110080u);   // fixed top row of frame 1
    EXPECT_EQ(canvas.At(4, 34), 0x330080u);  // fixed bottom row
    EXPECT_EQ(canvas.At(3, 20), 0x220081u);  // middle, stretched or tiled
    EXPECT_EQ(canvas.At(1, 20), 0x00FF00u);  // outside untouched
    EXPECT_EQ(canvas.At(4, 35), 0x00FF00u);
  }
  // Tiles keep their phase when the DC shows only part of the destination.
  TCanvas clipped(10, 40, 0x00FF00);
  IntersectClipRect(clipped.DC.Get(), 0, 8, 10, 40);
  painter.DrawThreeVertical(clipped.DC.Get(), image, 1, 2, RECT{2, 5, 5, 35}, 1, 1, TFill::Tile,
                            false);
  EXPECT_EQ(clipped.At(4, 7), 0x00FF00u);
  EXPECT_EQ(clipped.At(4, 8), 0x220082u);  // middle row 3 of the image: colour of column 2
  EXPECT_EQ(clipped.At(4, 34), 0x330080u);
  // Transparent: the magenta column is left out, the rest drawn.
  TCanvas canvas(10, 40, 0x00FF00);
  painter.DrawThreeVertical(canvas.DC.Get(), image, 0, 2, RECT{0, 0, 3, 30}, 1, 1, TFill::Tile,
                            true);
  EXPECT_EQ(canvas.At(0, 15), 0x00FF00u);
  EXPECT_EQ(canvas.At(2, 15), 0x220002u);
  EXPECT_EQ(canvas.At(0, 0), 0x110000u);
}

TEST(Paint, NinePartElementsAndMissingImages) {
  // 3 x 3 frame image: every pixel its own colour, so each of the nine parts shows.
  TSkinElement element;
  element.Image = Solid(3, 3, 0);
  for (int i = 0; i < 9; ++i) element.Image.Pixels[size_t(i)] = 0x010101u * uint32_t(i + 1);
  element.Present = true;
  element.LeftWidth = element.RightWidth = element.TopHeight = element.BottomHeight = 1;
  TSkinPainter painter;
  TCanvas canvas(20, 12, 0xABCDEF);
  painter.DrawElement(canvas.DC.Get(), element, 0, RECT{0, 0, 20, 12});
  EXPECT_EQ(canvas.At(0, 0), 0x010101u);
  EXPECT_EQ(canvas.At(19, 0), 0x030303u);
  EXPECT_EQ(canvas.At(0, 11), 0x070707u);
  EXPECT_EQ(canvas.At(19, 11), 0x090909u);
  EXPECT_EQ(canvas.At(10, 0), 0x020202u);
  EXPECT_EQ(canvas.At(10, 6), 0x050505u);
  EXPECT_EQ(canvas.At(0, 6), 0x040404u);
  // Absent elements, frames out of range and empty rectangles draw nothing.
  TCanvas untouched(8, 8, 0xABCDEF);
  painter.DrawElement(untouched.DC.Get(), TSkinElement{}, 0, RECT{0, 0, 8, 8});
  painter.DrawFrame(untouched.DC.Get(), element.Image, 3, 1, RECT{0, 0, 8, 8});
  painter.DrawElement(untouched.DC.Get(), element, 0, RECT{5, 5, 2, 2});
  EXPECT_EQ(untouched.At(0, 0), 0xABCDEFu);
  EXPECT_EQ(untouched.At(4, 4), 0xABCDEFu);
}

// Windows counts the process's GDI objects (Wine answers 0, so there it proves little).
TEST(Paint, RepaintsKeepTheGdiObjectCount) {
  const TSkinBitmap image = TwoFrames();
  TSkinPainter painter;
  TCanvas canvas(40, 40, 0);
  const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  for (int i = 0; i < 1000; ++i) {
    painter.DrawNine(canvas.DC.Get(), image, i % 2, 2, RECT{0, 0, 40, 40}, 1, 1, 1, 1,
                     i % 3 ? TFill::Tile : TFill::Stretch, i % 2 == 0);
    TGdiRegion region = RegionFromImage(image);
  }
  EXPECT_LE(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), before + 2);
}

TEST(Paint, RegionLeavesMagentaOut) {
  const TSkinBitmap image = TwoFrames();
  TGdiRegion region = RegionFromImage(image, 10, 20);
  ASSERT_TRUE(region);
  EXPECT_TRUE(PtInRegion(region.Get(), 10, 20));
  EXPECT_FALSE(PtInRegion(region.Get(), 10, 22));  // magenta
  EXPECT_TRUE(PtInRegion(region.Get(), 11, 22));
  EXPECT_FALSE(PtInRegion(region.Get(), 16, 20));  // outside
  EXPECT_TRUE(RegionFromImage(TSkinBitmap{}));
}

#ifdef VORNIS_STORED_SKIN_FILE
// Our own skin as the build packs it: every image the description names is in the
// package, the frame has its borders and the caption its buttons.
TEST(StoredSkin, DescribesAWholeFrame) {
  // The executable's resource is the package the build packed, without its length.
  auto stream = ReadFile(VORNIS_STORED_SKIN_FILE);
  ASSERT_GT(stream.size(), 4u);
  const std::span<const uint8_t> stored = StoredSkinStream();
  ASSERT_TRUE(std::ranges::equal(stored, std::span(stream).subspan(4)));
  const TSkin skin = ReadSkin(stored);
  EXPECT_TRUE(skin.Left.Present() && skin.Right.Present() && skin.Top.Present() &&
              skin.Bottom.Present());
  EXPECT_TRUE(skin.FaceColour.Set);
  std::set<int> actions;
  for (const auto& button : skin.CaptionButtons) {
    EXPECT_FALSE(button.Image.Empty()) << button.Section;
    actions.insert(button.Action);
  }
  EXPECT_TRUE(actions.count(0) && actions.count(2));
  for (const char* section : {"Buttons", "Progress", "Progress.Chunk", "GroupBox", "Tabs",
                              "SunkEdge", "Headerbar", "Scrollbar", "HorzScrollThumb",
                              "VertScrollThumb", "MenuItem", "MenuBackground", "ComboButton"}) {
    EXPECT_NE(skin.Element(section), nullptr) << section;
  }
  EXPECT_FALSE(skin.Element("Buttons")->CheckButton.Empty());
  EXPECT_FALSE(skin.MenuBar.Image.Empty());
}
#endif
