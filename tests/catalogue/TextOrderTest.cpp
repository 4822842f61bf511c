// The byte order of the list: code page 950 bytes, ASCII letters folded for the column
// sort, and characters Big5 lacks kept apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/TextOrder.h"

namespace {

using catalogue::CompareBytesNoCase;
using catalogue::CompareCaptions;
using catalogue::CompareTextNoCase;
using catalogue::Cp950Bytes;

TEST(TextOrder, Cp950BytesAreBig5) {
  EXPECT_EQ(Cp950Bytes(L"一"), "\xA4\x40");
  EXPECT_EQ(Cp950Bytes(L"已安裝"), "\xA4\x77\xA6\x77\xB8\xCB");
  EXPECT_EQ(Cp950Bytes(L"Abc"), "Abc");
  EXPECT_EQ(Cp950Bytes(L""), "");
}

TEST(TextOrder, ChineseSortsByBig5NotByUtf16) {
  // UTF-16 order would be 一 丁 中 乙 任務 地圖 天氣 插件 龍.
  std::vector<std::wstring> texts = {L"龍", L"插件", L"天氣", L"地圖", L"任務",
                                     L"乙", L"中",   L"丁",   L"一"};
  std::sort(texts.begin(), texts.end(),
            [](const std::wstring& a, const std::wstring& b) { return CompareCaptions(a, b) < 0; });
  EXPECT_EQ(texts, (std::vector<std::wstring>{L"一", L"乙", L"丁", L"中", L"天氣", L"任務", L"地圖",
                                              L"插件", L"龍"}));
}

TEST(TextOrder, NoCaseFoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareBytesNoCase("abc", "ABC"), 0);
  EXPECT_LT(CompareBytesNoCase("abc", "ABD"), 0);
  // '_' (0x5F) lies between 'Z' and 'a': folding to upper case puts it after letters.
  EXPECT_GT(CompareBytesNoCase("_", "a"), 0);
  EXPECT_GT(CompareBytesNoCase("_", "A"), 0);
  // A common prefix puts the shorter text first; bytes compare unsigned.
  EXPECT_LT(CompareBytesNoCase("ab", "abc"), 0);
  EXPECT_GT(CompareBytesNoCase("\xA4\x40", "z"), 0);
  EXPECT_EQ(CompareBytesNoCase("", ""), 0);
  // Big5 trail bytes in the letter range are not folded: 乙 (A4 41) is not 乙's "a".
  EXPECT_NE(CompareBytesNoCase("\xA4\x41", "\xA4\x61"), 0);
}

TEST(TextOrder, CaptionOrderIsTotalAndKeepsCaseApart) {
  EXPECT_EQ(CompareTextNoCase(L"Alpha", L"alpha"), 0);
  EXPECT_NE(CompareCaptions(L"Alpha", L"alpha"), 0);
  EXPECT_LT(CompareCaptions(L"alpha", L"Beta"), 0);  // case-insensitive first
  EXPECT_EQ(CompareCaptions(L"中", L"中"), 0);
}

TEST(TextOrder, CharactersWithoutBig5FormStayDistinctAndSortLast) {
  // U+0101 and the simplified U+4E2A have no Big5 form: they must not both become "?".
  std::string macron = Cp950Bytes(L"\u0101");
  std::string simplified = Cp950Bytes(L"\u4E2A");
  EXPECT_EQ(macron, std::string("\xFF\x01\x01", 3));
  EXPECT_NE(macron, simplified);
  EXPECT_NE(CompareCaptions(L"\u0101", L"\u4E2A"), 0);
  EXPECT_NE(CompareCaptions(L"\u0101", L"?"), 0);
  EXPECT_GT(CompareCaptions(L"\u4E2A", L"龍"), 0);
  EXPECT_EQ(Cp950Bytes(L"a\u0101b"), std::string("a\xFF\x01\x01"
                                                 "b",
                                                 5));
}

}  // namespace
