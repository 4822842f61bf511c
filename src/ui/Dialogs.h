// The file-open dialog: a file name to offer, a default extension and a filter in the
// "description|pattern|description|pattern" form.
#pragma once

#include <windows.h>

#include <string>

namespace ui {

class TOpenDialog {
 public:
  std::wstring FileName;
  std::wstring DefaultExt;
  std::wstring Filter;

  // Runs the dialog owned by `owner`; true and FileName set when the user confirms.
  bool Execute(HWND owner);
};

}  // namespace ui
