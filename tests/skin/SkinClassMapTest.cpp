// The class map lookup of the skin data: which line names a class and what kind it gives.
#include <gtest/gtest.h>

#include "skin/SkinClassMap.h"

using namespace skin;

// A line names a class only with its whole name and "=", in any case; the first such
// line wins; the kind comes lower-cased and cut at 50 characters.
TEST(ClassMap, WholeNamesFirstLineLowerCasedKind) {
  const std::wstring longKind(60, L'K');
  const std::vector<std::wstring> lines = {
      L"short", L"TFoo=Panel", L"tfoo=edit", L"TFooBar=" + longKind, L"TNil=nil", L"=orphan"};
  EXPECT_EQ(L"panel", MappedKind(lines, L"TFOO"));
  EXPECT_EQ(L"panel", MappedKind(lines, L"tfoo"));
  EXPECT_EQ(std::wstring(50, L'k'), MappedKind(lines, L"TFooBar"));
  EXPECT_EQ(L"nil", MappedKind(lines, L"TNil"));
  EXPECT_EQ(L"", MappedKind(lines, L"TFo"));
  EXPECT_EQ(L"", MappedKind(lines, L"TFooB"));
  EXPECT_EQ(L"", MappedKind(lines, L"short"));
  EXPECT_EQ(L"", MappedKind({}, L"TFoo"));
}

// The default lines: a class whose name starts another class's name keeps its own kind.
TEST(ClassMap, DefaultLinesOfClassesSharingAPrefix) {
  const auto& lines = DefaultClassMap();
  EXPECT_EQ(L"button", MappedKind(lines, L"TRzButton"));
  EXPECT_EQ(L"edit", MappedKind(lines, L"TRzButtonEdit"));
  EXPECT_EQ(L"edit", MappedKind(lines, L"tlmdedit"));
  EXPECT_EQ(L"", MappedKind(lines, L"TButton"));
}
