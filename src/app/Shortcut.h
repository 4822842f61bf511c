// The desktop shortcut to the running executable.
#pragma once

#include <string>

namespace app {

// The current user's desktop folder, or empty when the shell cannot give it.
std::wstring GetDesktopPath();

// Writes desktop\<linkName>.lnk pointing at targetPath, with the description and the
// target's folder as working directory. A shortcut of that name that already points
// there with the same settings is left alone; any other file of that name is replaced.
// Failures are silent: no shortcut is not an error.
void CreateDesktopShortcut(const std::wstring& targetPath, const std::wstring& linkName,
                           const std::wstring& description);

}  // namespace app
