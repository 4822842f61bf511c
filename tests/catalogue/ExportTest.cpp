// The export: Data.xml beside the executable, its exact form, and a round trip through
// the server and the load back into the list.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "CatalogueTestSupport.h"
#include "config/Paths.h"

namespace {

using cattest::Rows;
using cattest::TServedTest;

class CatalogueExport : public TServedTest {
 protected:
  void TearDown() override {
    DeleteFileW(Path().c_str());
    TServedTest::TearDown();
  }
  static std::wstring Path() { return config::ExeDir() + L"Data.xml"; }
  // The file with its line ends made visible, for failure messages.
  static std::string Shown(std::string text) {
    for (size_t at = 0; (at = text.find_first_of("\r\n", at)) != std::string::npos; at += 2)
      text.replace(at, 1, text[at] == '\r' ? "\\r" : "\\n");
    return text;
  }
  static std::string Read() {
    std::ifstream file(std::filesystem::path(Path()), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  }
};

TEST_F(CatalogueExport, WritesIndentedUtf8ItemsWithAttributesInOrder) {
  {
    std::ofstream old(std::filesystem::path(Path()), std::ios::binary);
    old << "STALE " << std::string(2000, 'x');
  }
  AddRow(L"天氣 & <雨>", L" Weather ", L"說明 \"引號\"", L"阿華");
  AddRow(L"Alpha", L"a", L"", L"");
  Form->Button5Click();

  // Line ends: MSXML on Windows keeps CR LF, Wine's writes LF.
  std::string xml = Read();
  std::erase(xml, '\r');
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  ASSERT_EQ(xml.rfind(declaration, 0), 0u) << Shown(xml);
  size_t alpha = xml.find(
      "\n  <Item plugName=\"Alpha\" plugid=\"2\" plugfolder=\"a\" plugdescribe=\"\" "
      "plugauthor=\"\"/>");
  size_t weather = xml.find(
      "\n  <Item plugName=\"天氣 &amp; &lt;雨&gt;\" plugid=\"1\" plugfolder=\" Weather \" "
      "plugdescribe=\"說明 &quot;引號&quot;\" plugauthor=\"阿華\"/>");
  EXPECT_NE(alpha, std::string::npos) << Shown(xml);
  EXPECT_NE(weather, std::string::npos) << Shown(xml);
  EXPECT_LT(alpha, weather);  // display order
  EXPECT_NE(xml.find("<plug>"), std::string::npos);
  EXPECT_NE(xml.find(">\n</plug>"), std::string::npos);
  EXPECT_EQ(xml.find("STALE"), std::string::npos);
  EXPECT_EQ(GetFileAttributesW((Path() + L".tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CatalogueExport, EmptyListGivesARootWithoutItems) {
  Form->Button5Click();
  std::string xml = Read();
  EXPECT_EQ(xml.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>", 0), 0u);
  EXPECT_EQ(xml.find("<Item"), std::string::npos);
  EXPECT_NE(xml.find("<plug/>"), std::string::npos) << Shown(xml);
}

TEST_F(CatalogueExport, RoundTripThroughTheLoad) {
  AddRow(L"龍", L" Dragon ", L"龍族任務", L"小明");
  AddRow(L"一", L"One", L"", L"Ann");
  AddRow(L"任務", L"Quest", L"任務追蹤", L"bob");
  auto before = Rows(*Form->ListView1);
  Form->Button5Click();

  Serve(Read());
  Form->Button4->OnClick = nullptr;
  Form->Button3->Click();
  EXPECT_TRUE(Errors().empty());
  auto after = Rows(*Form->ListView1);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    EXPECT_EQ(after[i][0], before[i][0]);
    EXPECT_EQ(after[i][1], std::to_wstring(i + 1));  // ordinal = position in the export
    for (size_t k = 2; k < after[i].size(); ++k) EXPECT_EQ(after[i][k], before[i][k]);
  }
}

}  // namespace
