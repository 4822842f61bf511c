// The order of the add-on list. Texts are compared as their code page 950 (Big5)
// bytes, so the list sorts the same on every system locale and as a Traditional
// Chinese system shows it.
//
// Characters that Big5 cannot represent do not all collapse into one "?": each is
// encoded as 0xFF followed by its UTF-16 code unit (big-endian). 0xFF is never a Big5
// byte, so such characters sort after every Big5 character and stay distinct.
#pragma once

#include <string>
#include <string_view>

namespace catalogue {

// The code page 950 bytes of `text`, with the escape above for unmappable characters.
std::string Cp950Bytes(std::wstring_view text);

// Byte comparison, case-insensitive for the ASCII letters a-z only (never a Big5 trail
// byte, which may have the value of a letter); a common prefix
// sorts the shorter text first. Negative, zero or positive.
int CompareBytesNoCase(std::string_view a, std::string_view b);

// CompareBytesNoCase of the code page 950 bytes of two texts.
int CompareTextNoCase(std::wstring_view a, std::wstring_view b);

// The order in which the list keeps its rows while they are added: CompareTextNoCase,
// then the plain bytes, so that texts differing only in case still have a fixed order.
int CompareCaptions(std::wstring_view a, std::wstring_view b);
// CompareCaptions of two texts given as their Cp950Bytes, for sorting many rows.
int CompareCaptionKeys(std::string_view a, std::string_view b);

}  // namespace catalogue
