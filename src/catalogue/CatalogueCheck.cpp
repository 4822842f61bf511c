// The check a catalogue's bytes pass before MSXML sees them. It looks at the markup as
// ASCII: UTF-16 documents are read by code unit, everything else byte by byte, which is
// exact for the ASCII-compatible encodings it lets through. Encodings in which markup
// could hide from that view (UTF-7, UTF-32, EBCDIC...) are refused.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "catalogue/Catalogue.h"
#include "catalogue/Msxml.h"
#include "ui/Application.h"

namespace catalogue {

namespace {

constexpr std::string_view kAsciiCompatible[] = {
    "utf-8",  "us-ascii", "ascii",   "iso-8859-", "windows-125", "big5",   "cp950",     "x-x-big5",
    "gb2312", "gbk",      "gb18030", "shift_jis", "euc-jp",      "euc-kr", "ks_c_5601", "koi8-"};
constexpr std::string_view kUtf16Names[] = {"utf-16", "utf-16le", "utf-16be", "ucs-2", "unicode"};

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return result;
}

[[noreturn]] void Refuse(const std::string& reason) {
  throw ECatalogueError("UI 清單 Data.xml " + reason + ",已拒絕載入");
}

// The markup as ASCII; a code unit beyond ASCII becomes 0x80. Sets `wide` for UTF-16.
std::string AsciiView(const std::string& bytes, bool& wide) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  size_t start = 0;
  bool bigEndian = false;
  wide = false;
  if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
    start = 3;
  } else if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
    wide = true;
    start = 2;
  } else if (bytes.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) {
    wide = bigEndian = true;
    start = 2;
  } else if (bytes.size() >= 2 && at(0) != 0 && at(1) == 0) {
    wide = true;
  } else if (bytes.size() >= 2 && at(0) == 0 && at(1) != 0) {
    wide = bigEndian = true;
  }
  if (!wide) return bytes.substr(start);

  if ((bytes.size() - start) % 2 != 0) Refuse("的 UTF-16 內容不完整");
  std::string view;
  view.reserve((bytes.size() - start) / 2);
  for (size_t i = start; i + 1 < bytes.size(); i += 2) {
    unsigned unit = bigEndian ? (at(i) << 8 | at(i + 1)) : (at(i + 1) << 8 | at(i));
    view += unit < 0x80 ? static_cast<char>(unit) : '\x80';
  }
  return view;
}

// The value of encoding="..." in a leading XML declaration, lower case; "" when none.
std::string DeclaredEncoding(const std::string& view) {
  if (view.rfind("<?xml", 0) != 0) return {};
  std::string declaration = view.substr(0, view.find("?>"));
  size_t key = declaration.find("encoding");
  if (key == std::string::npos) return {};
  size_t quote = declaration.find_first_of("\"'", key);
  if (quote == std::string::npos) return {};
  size_t end = declaration.find(declaration[quote], quote + 1);
  if (end == std::string::npos) return {};
  return Lower(std::string_view(declaration).substr(quote + 1, end - quote - 1));
}

bool StartsWithAny(const std::string& text, const auto& prefixes) {
  return std::any_of(std::begin(prefixes), std::end(prefixes),
                     [&](std::string_view prefix) { return text.rfind(prefix, 0) == 0; });
}

// The Windows code page of an ASCII-compatible encoding other than UTF-8; 0 for UTF-8,
// ASCII and no declaration.
UINT CodePageOf(const std::string& encoding) {
  struct TName {
    std::string_view Prefix;
    UINT CodePage;
  };
  static constexpr TName kNames[] = {{"big5", 950},      {"cp950", 950},    {"x-x-big5", 950},
                                     {"gb2312", 936},    {"gbk", 936},      {"gb18030", 54936},
                                     {"shift_jis", 932}, {"euc-jp", 20932}, {"euc-kr", 949},
                                     {"ks_c_5601", 949}, {"koi8-r", 20866}, {"koi8-u", 21866}};
  for (const TName& name : kNames)
    if (encoding.rfind(name.Prefix, 0) == 0) return name.CodePage;
  if (encoding.rfind("iso-8859-", 0) == 0) return 28590 + std::stoul("0" + encoding.substr(9));
  if (encoding.rfind("windows-125", 0) == 0) return 1250 + std::stoul("0" + encoding.substr(11));
  return 0;
}

}  // namespace

namespace detail {

std::string TranscodeForParser(const std::string& bytes) {
  bool wide = false;
  std::string view = AsciiView(bytes, wide);
  std::string encoding = wide ? std::string() : DeclaredEncoding(view);
  UINT codePage = CodePageOf(encoding);
  if (codePage == 0) return bytes;

  auto length = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (units <= 0) Refuse("不是有效的 " + encoding + " 文字");
  std::wstring text(static_cast<size_t>(units), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, text.data(), units);
  std::string utf8 = ui::Narrow(text);

  // The declaration now has to say what the bytes are.
  size_t key = utf8.find("encoding");
  size_t quote = utf8.find_first_of("\"'", key);
  size_t end = utf8.find(utf8[quote], quote + 1);
  utf8.replace(quote + 1, end - quote - 1, "UTF-8");
  return utf8;
}

}  // namespace detail

std::string PublishedTime(const std::string& bytes) {
  bool wide = false;
  std::string view = AsciiView(bytes, wide);
  // The first start tag that is no declaration, processing instruction or comment.
  size_t at = 0;
  for (;;) {
    at = view.find('<', at);
    if (at == std::string::npos) return {};
    if (view.compare(at, 4, "<!--") == 0) {
      at = view.find("-->", at);
    } else if (view.compare(at, 2, "<?") == 0 || view.compare(at, 2, "<!") == 0) {
      at = view.find('>', at);
    } else {
      break;
    }
    if (at == std::string::npos) return {};
  }
  std::string tag = view.substr(at, view.find('>', at) - at);
  // An attribute name stands after a blank; the value is quoted with ' or ".
  for (size_t name = tag.find("published"); name != std::string::npos;
       name = tag.find("published", name + 1)) {
    if (name == 0 || std::string_view(" \t\r\n").find(tag[name - 1]) == std::string_view::npos)
      continue;
    size_t equals = tag.find_first_not_of(" \t\r\n", name + 9);
    if (equals == std::string::npos || tag[equals] != '=') continue;
    size_t quote = tag.find_first_not_of(" \t\r\n", equals + 1);
    if (quote == std::string::npos || (tag[quote] != '"' && tag[quote] != '\'')) continue;
    size_t end = tag.find(tag[quote], quote + 1);
    if (end == std::string::npos) return {};
    return tag.substr(quote + 1, end - quote - 1);
  }
  return {};
}

void CheckCatalogueBytes(const std::string& bytes) {
  if (bytes.size() > kMaxCatalogueBytes)
    Refuse("超過 " + std::to_string(kMaxCatalogueBytes / 1024) + " KiB");

  bool wide = false;
  std::string view = AsciiView(bytes, wide);
  if (view.find('\0') != std::string::npos) Refuse("含有 NUL 字元或無法辨識的編碼");
  size_t first = view.find_first_not_of(" \t\r\n");
  if (first != std::string::npos && view[first] != '<') Refuse("的開頭不是 XML 標記");

  std::string encoding = DeclaredEncoding(view);
  if (!encoding.empty()) {
    bool known = wide ? std::find(std::begin(kUtf16Names), std::end(kUtf16Names), encoding) !=
                            std::end(kUtf16Names)
                      : StartsWithAny(encoding, kAsciiCompatible);
    if (!known) Refuse("使用不支援的編碼 " + encoding);
  }

  std::string lower = Lower(view);
  if (lower.find("<!doctype") != std::string::npos) Refuse("含有 DOCTYPE 宣告");
  if (lower.find("<!entity") != std::string::npos) Refuse("含有 ENTITY 宣告");
}

}  // namespace catalogue
