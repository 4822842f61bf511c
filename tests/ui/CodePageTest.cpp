// Text in a given code page, as a system set to any of them converts it: UTF-8 and
// GB18030 hold everything but take neither the no-best-fit flag nor the used-default
// report; Big5 and Western hold only their own characters.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ImportShim.h"
#include "ui/CodePage.h"

namespace {

std::wstring Back(unsigned codePage, const std::string& bytes) {
  std::wstring text(bytes.size(), L'\0');
  text.resize(MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()),
                                  text.data(), static_cast<int>(text.size())));
  return text;
}

// Windows refuses, for UTF-8 and GB18030, every flag but WC_ERR_INVALID_CHARS and the
// default-character arguments; Wine 8 takes them.
int WINAPI AsWindows(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR output,
                     int outputSize, LPCCH defaultChar, LPBOOL usedDefault) {
  if ((codePage == CP_UTF8 || codePage == 54936) && (flags & ~DWORD(WC_ERR_INVALID_CHARS)))
    return SetLastError(ERROR_INVALID_FLAGS), 0;
  if ((codePage == CP_UTF8 || codePage == 54936) && (defaultChar || usedDefault))
    return SetLastError(ERROR_INVALID_PARAMETER), 0;
  return TImportShim<decltype(WideCharToMultiByte)>::Original(codePage, flags, text, length, output,
                                                              outputSize, defaultChar, usedDefault);
}

TEST(ToCodePage, HoldsWhatTheCodePageCanAndRefusesTheRest) {
  TImportShim<decltype(WideCharToMultiByte)> windows("WideCharToMultiByte", AsWindows);
  const std::wstring text = L"C:\\遊戲\\資料 ü😀";
  for (unsigned codePage : {65001u, 54936u}) {
    if (!IsValidCodePage(codePage)) continue;  // Wine 8 has no GB18030
    std::optional<std::string> bytes = ui::ToCodePage(codePage, text);
    ASSERT_TRUE(bytes) << codePage;
    EXPECT_EQ(Back(codePage, *bytes), text) << codePage;
    EXPECT_FALSE(ui::ToCodePage(codePage, L"a\xD800z")) << codePage;  // a lone surrogate
  }
  EXPECT_EQ(ui::ToCodePage(65001, L"遊"), "\xE9\x81\x8A");
  EXPECT_EQ(ui::ToCodePage(950, L"遊戲"), "\xB9\x43\xC0\xB8");
  EXPECT_FALSE(ui::ToCodePage(950, L"ü😀"));
  EXPECT_EQ(ui::ToCodePage(1252, L"ü"), "\xFC");
  EXPECT_FALSE(ui::ToCodePage(1252, L"\x0100"));  // a look-alike "A" would stand in
  EXPECT_EQ(ui::ToCodePage(65001, L""), "");
}

}  // namespace
