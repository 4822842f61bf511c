// Texts that become one segment of a URL path.
#pragma once

#include <string>

namespace download {

// `text` as one path segment: letters, digits and "-._~" stay; every other character,
// blanks, "#", "?", "%" and "/" included, becomes %XX of its UTF-8 bytes (upper-case
// hex), so the server receives exactly `text` as one segment.
std::wstring EncodeUrlPathSegment(const std::wstring& text);

}  // namespace download
