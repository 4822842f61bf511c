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
