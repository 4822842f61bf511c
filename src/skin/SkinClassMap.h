// The class map of the skin data: lines "ClassName=kind" giving the skin kind of control
// classes that the standard ancestry cannot tell. Portable.
#pragma once

#include <string>
#include <vector>

namespace skin {

// The lines the skin data starts with: control classes of third-party libraries.
const std::vector<std::wstring>& DefaultClassMap();

// The kind that the first line for |className| gives (the class matched without regard
// to case), lower-cased and at most 50 characters; empty when no line names the class.
std::wstring MappedKind(const std::vector<std::wstring>& lines, const std::wstring& className);

}  // namespace skin
