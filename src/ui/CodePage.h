// Wide text in a code page of the system, refusing any character that the code page
// cannot hold rather than letting a default character or a look-alike stand in for it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ui {

// `text` in the code page `codePage` (CP_ACP and CP_OEMCP name the system's), or nothing
// when a character has no form there. Works for every code page, also those that refuse
// the no-best-fit flag and the used-default report: UTF-8 (65001, the ANSI and OEM code
// page of a system set to "Use Unicode UTF-8 for worldwide language support"), GB18030
// (54936), UTF-7 and the ISO-2022 and ISCII families; for those, text that cannot be
// converted (a lone surrogate) or does not convert back to itself is refused.
std::optional<std::string> ToCodePage(unsigned codePage, std::wstring_view text);

}  // namespace ui
