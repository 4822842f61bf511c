// The description syntax and the sections of the skin model.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

using namespace skin;
using namespace skintest;
using namespace std::string_literals;

namespace {

// A skin of one description and a few images.
TSkin SkinOf(const std::string& ini, std::vector<TSkinPackFile> images = {}) {
  images.insert(images.begin(), {"test.ini", Bytes(ini)});
  return ReadSkin(WritePackage(kSkinFormat, images));
}

}  // namespace

TEST(Description, SyntaxRules) {
  const TSkin skin = SkinOf(
      "; comment\n"
      "  [ titlebarskin ]  \r"  // blanks inside the brackets are part of the name
      "[TITLEBARSKIN]\0"
      "skinname = First \r\n"
      "SkinName=Second\n"
      "[Fonts]\r\n"
      "FontHeight=\r\n"  // empty value: the default, not the next line
      "FontHeight=20\r\n"
      "[Personality]\n"
      "TextShift=0x1F\n"
      "TextShiftVert=0X10\n"
      "TextRightClip=12abc\n"
      "TextAlignment=-2\n"
      "ActiveTextR=300\n"
      "[Colours]\n"
      "WindowText=10,20,30\n"
      "ButtonFace= 10 20 30 \n"
      "Menu=1;2\n"
      "MenuText=a1b2c3d\n"s);
  EXPECT_EQ(skin.SkinName, "First");
  EXPECT_EQ(skin.FontHeight, 14);
  EXPECT_EQ(skin.Title.TextShift, 31);
  EXPECT_EQ(skin.Title.TextShiftVert, 16);
  EXPECT_EQ(skin.Title.TextRightClip, 0);
  EXPECT_EQ(skin.Title.TextAlignment, -2);
  EXPECT_FALSE(skin.Title.ActiveText.Set);
  EXPECT_TRUE(skin.Colours.WindowText.Set);
  EXPECT_EQ(skin.Colours.WindowText.Rgb(), 0x0A141Eu);
  EXPECT_EQ(skin.Colours.ButtonFace.Rgb(), 0x0A141Eu);
  EXPECT_FALSE(skin.Colours.Menu.Set);
  EXPECT_EQ(skin.Colours.MenuText.Rgb(), 0x010203u);
  EXPECT_FALSE(skin.Colours.Hilight.Set);
  EXPECT_EQ(skin.CustomColors[9].Rgb(), 0xFFFFFFu);
  EXPECT_EQ(SkinOf("\xEF\xBB\xBF[TitlebarSkin]\nSkinName=Marked\n").SkinName, "Marked");
}

TEST(Description, ImagesComeOnlyFromBmpFilesOfThePackage) {
  const auto bmp = WriteBmp24(Solid(10, 4, 0x336699));
  const TSkin skin = SkinOf(
      "[Progress]\nBitmap=BAR.BMP\nLeftWidth=2\nTile=2\n"
      "[Progress.Chunk]\nImage=bar.png\n"
      "[SunkEdge]\nImage=missing.bmp\n"
      "[Tabs]\nImage=bar.bmp\nBorder=bar.bmp\nFrame=1\n"
      "[Tab.Pane]\nImage=bar.bmp\nLeftWidth=9\nTopHeight=3\n"
      "[Buttons]\nBitmap=bar.bmp\nCheckButton=bar.bmp\nCheckButtonFrame=0x2\n"
      "[HorzScrollThumb]\nImage=bar.bmp\n"
      "[Personality]\nLeft=bar.bmp\nLeftStretch=7\nLeftTrans=0\n",
      {{"bar.bmp", bmp}, {"bar.png", bmp}});
  const TSkinElement* progress = skin.Element("PROGRESS");
  ASSERT_NE(progress, nullptr);
  EXPECT_EQ(progress->Image.Pixel(9, 3), 0x336699u);
  EXPECT_EQ(progress->LeftWidth, 2);
  EXPECT_EQ(progress->Tile, 0);
  EXPECT_EQ(skin.Element("progress.chunk"), nullptr);
  EXPECT_EQ(skin.Element("SunkEdge"), nullptr);
  EXPECT_EQ(skin.Element("Tabs")->Frame, 5);
  EXPECT_FALSE(skin.Element("Tabs")->Image2.Empty());
  EXPECT_EQ(skin.Element("Tab.Pane")->LeftWidth, 4);
  EXPECT_EQ(skin.Element("Tab.Pane")->TopHeight, 3);
  EXPECT_EQ(skin.Element("Buttons")->Frame, 5);
  EXPECT_EQ(skin.Element("Buttons")->CheckButtonFrame, 2);
  EXPECT_FALSE(skin.Element("Buttons")->CheckButton.Empty());
  EXPECT_EQ(skin.Element("HorzScrollThumb")->Frame, 3);
  EXPECT_EQ(skin.Left.Stretch, 1);
  EXPECT_FALSE(skin.Left.Trans);
  EXPECT_TRUE(skin.Right.Trans);
  EXPECT_FALSE(skin.FaceColour.Set);
}

// The frame counts that the description cannot change.
TEST(Description, FixedFrameCounts) {
  const std::pair<std::string, int> fixed[] = {{"Buttons", 5},
                                               {"Tabs", 5},
                                               {"ToolBars", 5},
                                               {"Scrollbar", 23},
                                               {"HorzScroll", 4},
                                               {"VertScroll", 4},
                                               {"UpDown.Horz", 8},
                                               {"UpDown.Vert", 8},
                                               {"Trackbar.ThumbHorz", 5},
                                               {"Trackbar.ThumbVert", 5},
                                               {"Trackbar.ThumbLeft", 5},
                                               {"Trackbar.ThumbRight", 5},
                                               {"Trackbar.ThumbUp", 5},
                                               {"Trackbar.ThumbDown", 5}};
  std::string ini;
  for (const auto& [section, frames] : fixed) ini += "[" + section + "]\nImage=a.bmp\nFrame=1\n";
  const TSkin skin = SkinOf(ini, {{"a.bmp", WriteBmp24(Solid(2, 2, 0))}});
  for (const auto& [section, frames] : fixed) {
    ASSERT_NE(skin.Element(section), nullptr) << section;
    EXPECT_EQ(skin.Element(section)->Frame, frames) << section;
  }
  EXPECT_EQ(skin.Title.Frame, 2);
}

TEST(Description, CaptionButtonsAndColourLists) {
  const TSkin skin = SkinOf(
      "[ButtonClose]\nAction=0\nAlign=1\nXcoord=20\nButtonImage=strip.bmp\n"
      "[Buttons]\nAction=2\n"
      "[button.checkbox]\nAction=2\n"
      "[ButtonNothing]\nAction=-1\nVisibility=0\n"
      "[ButtonWide]\nAction=2\nButtonImage=wide.bmp\n"
      "[ButtonCut]\nAction=5\nframe=0\nButtonImage=wide.bmp\n"
      "[Colour1]\ncolor=1 2 3\n[Colours]\nMenu=4 5 6\n[ColourB]\ncolor=7,8,9\n",
      {{"strip.bmp", WriteBmp24(Solid(38, 10, 1))}, {"wide.bmp", WriteBmp24(Solid(39, 10, 1))}});
  ASSERT_EQ(skin.CaptionButtons.size(), 3u);
  EXPECT_EQ(skin.CaptionButtons[0].Section, "ButtonClose");
  EXPECT_EQ(skin.CaptionButtons[0].Frame, 3);  // at most 3.8 times as wide as high
  EXPECT_EQ(skin.CaptionButtons[0].Xcoord, 20);
  EXPECT_EQ(skin.CaptionButtons[1].Frame, 6);
  EXPECT_EQ(skin.CaptionButtons[2].Frame, 4);  // cut in 13-pixel frames, at least 4
  ASSERT_EQ(skin.ExtraColours.size(), 2u);
  EXPECT_EQ(skin.ExtraColours[1].Rgb(), 0x070809u);
}

TEST(Description, LyingBitmapsRefuseThePackage) {
  const auto good = WriteBmp24(Solid(5, 3, 0x123456));
  auto patched = [&](size_t at, uint32_t value) {
    auto copy = good;
    for (int i = 0; i < 4; ++i) copy[at + i] = static_cast<uint8_t>(value >> (8 * i));
    return copy;
  };
  for (const auto& bmp :
       {patched(18, 6), patched(22, 0x7FFFFFFF), patched(22, 0x80000000u), patched(10, 0xFFFFFFF0u),
        patched(14, 0xFFFF), patched(28, 16), std::vector<uint8_t>(good.begin(), good.end() - 1)}) {
    EXPECT_THROW(SkinOf("[Progress]\nImage=a.bmp\n", {{"a.bmp", bmp}}), ESkinError);
  }
  // A top-down 8-bit image with a two-colour palette.
  std::vector<uint8_t> indexed = {'B', 'M', 0, 0, 0, 0, 0, 0,    0,    0,    62,   0, 0, 0, 40,
                                  0,   0,   0, 2, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 1, 0, 8, 0};
  indexed.resize(46, 0);
  indexed.insert(indexed.end(), {2, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x20, 0x10, 0, 0, 0, 0, 0});
  indexed.insert(indexed.end(), {1, 0, 0, 0, 0, 1, 0, 0});
  const TSkin skin = SkinOf("[Progress]\nImage=a.bmp\n", {{"a.bmp", indexed}});
  EXPECT_EQ(skin.Element("Progress")->Image.Pixels,
            (std::vector<uint32_t>{0, 0x102030, 0x102030, 0}));
}

// 1- and 4-bit rows hold their first pixel in the highest bits.
TEST(Description, OneAndFourBitPixelsInOrder) {
  auto pixels = [](uint8_t bits, uint8_t width, std::vector<uint8_t> row) {
    std::vector<uint8_t> file(14 + 40 + 16 * 4, 0);
    file[0] = 'B';
    file[1] = 'M';
    file[10] = static_cast<uint8_t>(file.size());
    file[14] = 40;
    file[18] = width;
    file[22] = file[26] = 1;
    file[28] = bits;
    for (uint8_t i = 0; i < 16; ++i) file[54 + 4 * i] = i;  // palette entry i is colour i
    row.resize(4, 0);
    file.insert(file.end(), row.begin(), row.end());
    return DecodeBmp(file).Pixels;
  };
  EXPECT_EQ(pixels(1, 10, {0xA5, 0x40}), (std::vector<uint32_t>{1, 0, 1, 0, 0, 1, 0, 1, 0, 1}));
  EXPECT_EQ(pixels(4, 3, {0x12, 0x30}), (std::vector<uint32_t>{1, 2, 3}));
}

// Numbers and colours at their limits: eight hex digits, the first number past the
// 32-bit range, components over 255, and colours of 0, which are set, not missing.
TEST(Description, NumbersAndColoursAtTheirLimits) {
  const TSkin skin = SkinOf(
      "[Personality]\n"
      "TextShift=0x00FF00FF\n"
      "TextShiftVert=0xFFFFFFFF\n"
      "TextRightClip=0x100000000\n"
      "TextAlignment=2147483648\n"
      "Textbackground=-2147483648\n"
      "TXTBackleft=2147483647\n"
      "TXTBackRight=-2147483649\n"
      "ActiveTextR=0\nActiveTextG=0\nActiveTextB=0\n"
      "InActiveTextR=255\nInActiveTextG=256\nInActiveTextB=0\n"
      "[Colours]\n"
      "WindowText=300,20,1000\n"
      "TitleTextActive=0,0,0\n"
      "TitleTextNoActive=99999999999,0,256\n");
  EXPECT_EQ(skin.Title.TextShift, 0x00FF00FF);
  EXPECT_EQ(skin.Title.TextShiftVert, -1);
  EXPECT_EQ(skin.Title.TextRightClip, 0);
  EXPECT_EQ(skin.Title.TextAlignment, 0);
  EXPECT_EQ(skin.Title.Textbackground, INT32_MIN);
  EXPECT_EQ(skin.Title.TXTBackleft, INT32_MAX);
  EXPECT_EQ(skin.Title.TXTBackRight, 0);
  EXPECT_TRUE(skin.Title.ActiveText.Set);
  EXPECT_EQ(skin.Title.ActiveText.Rgb(), 0u);
  EXPECT_FALSE(skin.Title.InActiveText.Set);
  EXPECT_EQ(skin.Colours.WindowText.Rgb(), 0xFF14FFu);
  EXPECT_TRUE(skin.Colours.TitleTextActive.Set);
  EXPECT_EQ(skin.Colours.TitleTextActive.Rgb(), 0u);
  EXPECT_EQ(skin.Colours.TitleTextNoActive.Rgb(), 0xFF00FFu);
}

// Caption-button strips exactly 16 pixels high: without "frame" the count follows the
// strip's proportions; with no usable count the strip is cut into 16-pixel frames
// (13-pixel ones under 16 high).
TEST(Description, CaptionStripsSixteenPixelsHigh) {
  const TSkin skin = SkinOf(
      "[ButtonA]\nAction=1\nButtonImage=narrow16.bmp\n"
      "[ButtonB]\nAction=1\nButtonImage=wide16.bmp\n"
      "[ButtonC]\nAction=1\nframe=0\nButtonImage=long16.bmp\n"
      "[ButtonD]\nAction=1\nframe=-1\nButtonImage=long15.bmp\n"
      "[ButtonE]\nAction=1\nframe=0\nButtonImage=short16.bmp\n",
      {{"narrow16.bmp", WriteBmp24(Solid(60, 16, 1))},
       {"wide16.bmp", WriteBmp24(Solid(61, 16, 1))},
       {"long16.bmp", WriteBmp24(Solid(112, 16, 1))},
       {"long15.bmp", WriteBmp24(Solid(112, 15, 1))},
       {"short16.bmp", WriteBmp24(Solid(48, 16, 1))}});
  std::vector<int> frames;
  for (const TSkinCaptionButton& button : skin.CaptionButtons) frames.push_back(button.Frame);
  EXPECT_EQ(frames, (std::vector<int>{3, 6, 7, 8, 4}));
}

namespace {

// A one-row bitmap of |bits| per pixel, |width| wide, with |colours| palette entries
// (entry i is blue i + 1) and the row at |pixelOffset|.
std::vector<uint8_t> IndexedBmp(uint16_t bits, int width, uint32_t colours, size_t pixelOffset,
                                std::vector<uint8_t> row, uint32_t compression = 0) {
  row.resize((row.size() + 3) & ~size_t(3), 0);
  std::vector<uint8_t> file(std::max(pixelOffset + row.size(), 54 + 4 * size_t(colours)), 0);
  auto put = [&file](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) file[at + size_t(i)] = static_cast<uint8_t>(value >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(10, static_cast<uint32_t>(pixelOffset));
  put(14, 40);
  put(18, static_cast<uint32_t>(width));
  put(22, 1);
  put(26, 1u | (uint32_t(bits) << 16));
  put(30, compression);
  put(46, colours);
  for (uint32_t i = 0; i < colours && bits <= 8; ++i)
    file[54 + 4 * i] = static_cast<uint8_t>(i + 1);
  std::copy(row.begin(), row.end(), file.begin() + static_cast<long>(pixelOffset));
  return file;
}

}  // namespace

// Indexed pixels and the palette: an index equal to the palette size is black, not the
// byte after the palette; pixels may start right after the palette, never inside it.
TEST(Description, PaletteEdges) {
  EXPECT_EQ(DecodeBmp(IndexedBmp(8, 4, 2, 62, {0, 1, 2, 0xFF})).Pixels,
            (std::vector<uint32_t>{1, 2, 0, 0}));
  EXPECT_EQ(DecodeBmp(IndexedBmp(4, 3, 3, 66, {0x23, 0x10})).Pixels,
            (std::vector<uint32_t>{3, 0, 2}));
  EXPECT_THROW(DecodeBmp(IndexedBmp(8, 4, 2, 58, {0, 1, 1, 0})), ESkinError);
  EXPECT_THROW(DecodeBmp(IndexedBmp(8, 4, 0, 62, {0, 1, 1, 0})), ESkinError);  // 256 entries
  EXPECT_NO_THROW(DecodeBmp(IndexedBmp(8, 4, 0, 54 + 1024, {0, 1, 1, 0})));
}

// Bit fields describe 16- and 32-bit pixels only: at any other depth the file is refused.
TEST(Description, BitfieldsOnlyAtThirtyTwoBits) {
  // The three masks (red, green, blue) follow the header; the pixels follow the masks,
  // or the palette an indexed image would have.
  auto bitfields = [](uint16_t bits) {
    const size_t pixelOffset = 54 + (bits <= 8 ? (size_t(4) << bits) : 12);
    auto file = IndexedBmp(bits, 1, 0, pixelOffset, {0x30, 0x20, 0x10, 0}, 3);
    file[56] = file[59] = file[62] = 0xFF;
    return file;
  };
  EXPECT_EQ(DecodeBmp(bitfields(32)).Pixels, std::vector<uint32_t>{0x102030});
  for (uint16_t bits : {1, 4, 8, 16, 24})
    EXPECT_THROW(DecodeBmp(bitfields(bits)), ESkinError) << bits;
}
