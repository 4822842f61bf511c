// What reading a package may cost: each image decoded once and shared, names and key
// lines that nothing can look up not kept, and every count and size bounded.
#include <gtest/gtest.h>

#include "SkinTestSupport.h"
#include "skin/SkinIni.h"
#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

using namespace skin;
using namespace skintest;

TEST(Bounds, ABitmapNamedByManyKeysIsDecodedOnce) {
  std::string ini = "[Personality]\nTop=big.bmp\n[Progress]\nImage=BIG.bmp\n";
  for (int i = 0; i < 200; ++i)
    ini += "[Button" + std::to_string(i) + "]\nAction=1\nButtonImage=big.bmp\n";
  const TSkin skin = ReadSkin(WritePackage(
      kSkinFormat, {{"s.ini", Bytes(ini)}, {"big.bmp", WriteBmp24(Solid(60, 20, 0x123456))}}));
  ASSERT_EQ(skin.CaptionButtons.size(), 200u);
  for (const TSkinCaptionButton& button : skin.CaptionButtons)
    EXPECT_EQ(button.Image.Pixels.data(), skin.Top.Image.Pixels.data());
  EXPECT_EQ(skin.Element("Progress")->Image.Pixels.data(), skin.Top.Image.Pixels.data());
  TSkinBitmap copy = skin.Top.Image;  // writing to a copy leaves the shared pixels alone
  copy.Pixels[0] = 0;
  EXPECT_EQ(skin.CaptionButtons[0].Image.Pixel(0, 0), 0x123456u);

  // The images of a skin count together, each once.
  const auto large = WriteBmp24(Solid(1800, 1800, 0));  // over half of kMaxSkinPixels
  const auto twice = "[Progress]\nImage=a.bmp\n[Tabs]\nImage=a.bmp\n";
  EXPECT_NO_THROW(ParseSkin(
      SplitPackage(BuildPackage(kSkinFormat, {{"s.ini", Bytes(twice)}, {"a.bmp", large}}))));
  const auto two = "[Progress]\nImage=a.bmp\n[Tabs]\nImage=b.bmp\n";
  EXPECT_THROW(ParseSkin(SplitPackage(BuildPackage(
                   kSkinFormat, {{"s.ini", Bytes(two)}, {"a.bmp", large}, {"b.bmp", large}}))),
               ESkinError);
}

TEST(Bounds, EmptyNamesKeepNothingAndFilesAreCounted) {
  std::vector<TSkinPackFile> files(100002, {"", Bytes("x")});
  files.front() = {"s.ini", Bytes("[TitlebarSkin]\nSkinName=N\n")};
  files.back() = {"Last.txt", Bytes("end")};
  const TSkinPackage package = SplitPackage(BuildPackage(kSkinFormat, files));
  ASSERT_EQ(package.Files.size(), 2u);
  EXPECT_EQ(package.Files[1].Name, "last.txt");
  EXPECT_EQ(package.Files[1].Data, Bytes("end"));

  files.assign(kMaxSkinFiles + 1, {"f.bmp", {}});
  EXPECT_THROW(SplitPackage(BuildPackage(kSkinFormat, files)), ESkinError);
}

TEST(Bounds, DescriptionKeepsOnlyWhatALookupFinds) {
  std::string repeated = "[Fonts]\nFontHeight=20\n";
  for (int i = 0; i < 100000; ++i) repeated += "=1\nFONTHEIGHT=30\n[fonts]\n";
  const TSkinIni ini(repeated);
  EXPECT_EQ(ini.Integer("Fonts", "FontHeight", 0), 20);
  EXPECT_LT(ini.StoredBytes(), 1024u);

  std::string distinct = "[Keys]\n";
  for (int i = 0; i < 100000; ++i) distinct += "k" + std::to_string(i) + "=1\n";
  EXPECT_THROW(TSkinIni{distinct}, ESkinError);
}
