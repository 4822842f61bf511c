// What may reach MSXML, and what MSXML makes of the bytes that pass: the DTD refusal in
// every encoding the check reads, the size cap, encodings it cannot read, and the walk
// of parsed documents with the declared encoding honoured.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/Catalogue.h"
#include "ui/Application.h"

namespace {

// MSXML runs on the window thread, which the application joins to OLE.
const bool kWindowThread = (ui::Application().Initialize(GetModuleHandleW(nullptr)), true);

using catalogue::CheckCatalogueBytes;
using catalogue::ECatalogueError;
using catalogue::TCatalogueDocument;

std::string Utf16Le(const std::u16string& text, bool bom) {
  std::string bytes = bom ? std::string("\xFF\xFE", 2) : std::string();
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

std::string Utf16Be(const std::u16string& text) {
  std::string bytes("\xFE\xFF", 2);
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit >> 8);
    bytes += static_cast<char>(unit & 0xFF);
  }
  return bytes;
}

// The message of the refusal, "" when the bytes pass.
std::string Verdict(const std::string& bytes) {
  try {
    CheckCatalogueBytes(bytes);
    return "";
  } catch (const ECatalogueError& error) {
    return error.Message();
  }
}

const char kItem[] =
    "<Item plugName=\"n\" plugid=\"1\" plugfolder=\"f\" plugdescribe=\"d\" plugauthor=\"a\"/>";

TEST(CatalogueCheck, RefusesDtdAndEntitiesInEveryReadableEncoding) {
  const std::string laughs =
      "<?xml version=\"1.0\"?>\n<!DOCTYPE plug [<!ENTITY a \"aaaaaaaaaa\">"
      "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>\n<plug>&b;</plug>";
  EXPECT_NE(Verdict(laughs).find("DOCTYPE"), std::string::npos);
  EXPECT_NE(Verdict("<!DOCTYPE plug SYSTEM \"file:///c:/windows/win.ini\"><plug/>"), "");
  EXPECT_NE(Verdict("\xEF\xBB\xBF<!DOCTYPE plug><plug/>"), "");      // UTF-8 BOM
  EXPECT_NE(Verdict("<plug><!-- x --></plug><!doctype plug>"), "");  // any case, anywhere
  EXPECT_NE(Verdict("<plug>\n<!ENTITY x \"y\"></plug>").find("ENTITY"), std::string::npos);
  EXPECT_NE(Verdict(Utf16Le(u"<!DOCTYPE plug><plug/>", true)), "");
  EXPECT_NE(Verdict(Utf16Le(u"<?xml version=\"1.0\"?><!DOCTYPE plug><plug/>", false)), "");
  EXPECT_NE(Verdict(Utf16Be(u"<!DOCTYPE plug><plug/>")), "");
  EXPECT_EQ(Verdict(Utf16Le(u"<plug/>", true)), "");
}

TEST(CatalogueCheck, RefusesWhatItCannotRead) {
  // UTF-32 hides markup between NULs; UTF-7 and EBCDIC spell "<" otherwise.
  std::string utf32("\xFF\xFE\0\0<\0\0\0p\0\0\0/\0\0\0>\0\0\0", 20);
  EXPECT_NE(Verdict(utf32), "");
  EXPECT_NE(Verdict("<?xml version=\"1.0\" encoding=\"UTF-7\"?><plug>+ADw-!DOCTYPE</plug>"), "");
  EXPECT_NE(Verdict("\x4C\x6F\xA7\x94\x93"), "");  // "<?xml" in EBCDIC
  EXPECT_NE(Verdict(Utf16Le(u"<?xml version=\"1.0\" encoding=\"utf-8\"?><plug/>", true)), "");
  EXPECT_NE(Verdict(std::string("<plug>\0</plug>", 15)), "");
  EXPECT_NE(Verdict(std::string("\xFF\xFE<\0p", 5)), "");  // odd UTF-16 length
  // What a publisher writes passes.
  EXPECT_EQ(Verdict("<?xml version=\"1.0\" encoding=\"Big5\"?><plug/>"), "");
  EXPECT_EQ(Verdict("<?xml version='1.0' encoding='utf-8' standalone='yes'?>\r\n<plug/>"), "");
  EXPECT_EQ(Verdict("  \r\n<plug/>"), "");
}

TEST(CatalogueCheck, SizeCapIsExact) {
  std::string body = "<plug>" + std::string(catalogue::kMaxCatalogueBytes - 13, ' ') + "</plug>";
  ASSERT_EQ(body.size(), catalogue::kMaxCatalogueBytes);
  EXPECT_EQ(Verdict(body), "");
  EXPECT_NE(Verdict(body + " ").find("KiB"), std::string::npos);
}

TEST(CatalogueDocument, HonoursTheDeclaredEncoding) {
  // Big5 bytes of 天氣 / 中文作者, declared as Big5: they must come out as those texts.
  std::string big5 =
      "<?xml version=\"1.0\" encoding=\"Big5\"?><plug><Item plugName=\"\xA4\xD1\xAE\xF0\" "
      "plugid=\"7\" plugfolder=\" Weather \" plugdescribe=\"\" "
      "plugauthor=\"\xA4\xA4\xA4\xE5\xA7\x40\xAA\xCC\"/></plug>";
  CheckCatalogueBytes(big5);
  TCatalogueDocument document = TCatalogueDocument::Parse(big5);
  ASSERT_EQ(document.ItemCount(), 1);
  catalogue::TCatalogueItem item = document.Item(0);
  EXPECT_EQ(item.Name, L"天氣");
  EXPECT_EQ(item.Id, L"7");
  EXPECT_EQ(item.Folder, L" Weather ");  // not trimmed on reading
  EXPECT_EQ(item.Description, L"");
  EXPECT_EQ(item.Author, L"中文作者");

  std::string utf16 = Utf16Le(
      u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><plug>"
      u"<Item plugName=\"地圖\" plugid=\"1\" plugfolder=\"Map\" "
      u"plugdescribe=\"d\" plugauthor=\"a\"/></plug>",
      true);
  CheckCatalogueBytes(utf16);
  EXPECT_EQ(TCatalogueDocument::Parse(utf16).Item(0).Name, L"地圖");
}

// The optional archive attributes reach the item from both readers (the SAX one for a
// plain catalogue, the DOM for one with a comment), malformed values included, and an
// item without them is still read.
TEST(CatalogueDocument, ReadsTheOptionalArchiveAttributes) {
  const std::string items =
      "<Item plugName=\"a\" plugid=\"1\" plugfolder=\"A\" plugdescribe=\"\" plugauthor=\"\" "
      "plugsize=\"12x\" plugsha256=\"ABC\"/><Item plugName=\"b\" plugid=\"2\" plugfolder=\"B\" "
      "plugdescribe=\"\" plugauthor=\"\"/>";
  for (const std::string& body :
       {"<plug>" + items + "</plug>", "<plug><!-- c -->" + items + "</plug>"}) {
    TCatalogueDocument document = TCatalogueDocument::Parse(body);
    ASSERT_EQ(document.ItemCount(), body.find("<!--") == std::string::npos ? 2 : 3);
    catalogue::TCatalogueItem a = document.Item(document.ItemCount() - 2);
    EXPECT_EQ(a.ArchiveSize, L"12x");
    EXPECT_EQ(a.ArchiveSha256, L"ABC");
    EXPECT_EQ(document.Item(document.ItemCount() - 1).ArchiveSize, L"");
  }
}

TEST(CatalogueDocument, WalkErrorsNameTheItem) {
  TCatalogueDocument document = TCatalogueDocument::Parse(
      std::string("<plug>\n  ") + kItem + "\n  <!-- retired -->\n  " +
      "<Item plugName=\"n\" plugid=\"1\" plugdescribe=\"d\" plugauthor=\"a\"/>\n</plug>");
  ASSERT_EQ(document.ItemCount(), 3);  // whitespace between items is no item
  EXPECT_EQ(document.Item(0).Name, L"n");
  try {
    document.Item(1);
    FAIL() << "a comment is no item";
  } catch (const ECatalogueError& error) {
    EXPECT_NE(error.Message().find("第 2 項"), std::string::npos) << error.Message();
  }
  try {
    document.Item(2);
    FAIL() << "an item without plugfolder";
  } catch (const ECatalogueError& error) {
    EXPECT_NE(error.Message().find("第 3 項缺少屬性 plugfolder"), std::string::npos)
        << error.Message();
  }
  // Items read in any order are the same items.
  EXPECT_EQ(document.Item(0).Name, L"n");
  EXPECT_THROW(document.Item(2), ECatalogueError);
  EXPECT_THROW(document.Item(3), ECatalogueError);
}

// However the parser reads a document, its items are the same: references resolved,
// attribute values normalized, element names and nested content ignored.
TEST(CatalogueDocument, ItemsReadTheSameWhicheverWayTheDocumentIsParsed) {
  TCatalogueDocument document = TCatalogueDocument::Parse(
      "<plug xmlns=\"urn:x\"><Item plugName=\"a&amp;b&#x4E00;\" plugid=\"1\" plugfolder=\"f\" "
      "plugdescribe=\"line\nnext&#10;end\" plugauthor=\"\"><Sub/>text</Item>\n"
      "<Other plugName=\"n\" plugid=\"2\" plugfolder=\"g\" plugdescribe=\"\" "
      "plugauthor=\"z\"/></plug>");
  ASSERT_EQ(document.ItemCount(), 2);
  EXPECT_EQ(document.Item(0).Name, L"a&b\u4E00");
  EXPECT_EQ(document.Item(0).Description, L"line next\nend");
  EXPECT_EQ(document.Item(0).Author, L"");
  EXPECT_EQ(document.Item(1).Folder, L"g");
  EXPECT_THROW(document.Item(2), ECatalogueError);
}

TEST(CatalogueDocument, RootWithoutChildrenIsEmptyAndBadXmlSaysWhere) {
  EXPECT_EQ(TCatalogueDocument::Parse("<plug/>").ItemCount(), 0);
  EXPECT_EQ(TCatalogueDocument::Parse("<?xml version=\"1.0\"?>\n<plug>\n</plug>").ItemCount(), 0);
  for (const std::string& bad : {std::string("<plug>\n<Item plugName=\"x\">\n</plug>"),
                                 std::string(""), std::string("<plug></plug><plug/>")}) {
    try {
      TCatalogueDocument::Parse(bad);
      FAIL() << "not well-formed: " << bad;
    } catch (const ECatalogueError& error) {
      EXPECT_NE(error.Message().find("不是格式正確的 XML"), std::string::npos) << error.Message();
    }
  }
}

}  // namespace

// The root's publication time, found past the declaration, comments and processing
// instructions, in any encoding the check reads; never an item's or a look-alike's.
TEST(CatalogueCheck, PublishedTimeIsTheRootAttribute) {
  using catalogue::PublishedTime;
  const std::string t = "2026-12-08T17:18:06Z";
  EXPECT_EQ(t, PublishedTime("<?xml version=\"1.0\"?><!-- <plug published=\"x\"> --><?pi?>\r\n"
                             "<plug a=\"1\" published = '" +
                             t + "'><Item published=\"y\"/></plug>"));
  EXPECT_EQ(t, PublishedTime(Utf16Le(u"<plug\tpublished=\"2026-12-08T17:18:06Z\"/>", true)));
  EXPECT_EQ("", PublishedTime("<plug unpublished=\"x\"><Item published=\"y\"/></plug>"));
  EXPECT_EQ("", PublishedTime("<plug/>"));
  EXPECT_EQ("", PublishedTime(""));
}
