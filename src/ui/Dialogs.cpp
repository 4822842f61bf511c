#include "ui/Dialogs.h"

#include <commdlg.h>

#include <vector>

namespace ui {

bool TOpenDialog::Execute(HWND owner) {
  // "a|b|c|d" becomes "a\0b\0c\0d\0\0".
  std::wstring filter = Filter;
  for (wchar_t& c : filter)
    if (c == L'|') c = L'\0';
  filter.push_back(L'\0');
  filter.push_back(L'\0');

  std::vector<wchar_t> file(32768, L'\0');
  FileName.copy(file.data(), std::min(FileName.size(), file.size() - 1));

  // A default extension is given without its leading dot; "VNgame.exe" keeps "exe".
  std::wstring extension = DefaultExt;
  if (auto dot = extension.rfind(L'.'); dot != std::wstring::npos)
    extension = extension.substr(dot + 1);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof(ofn);
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = Filter.empty() ? nullptr : filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
  if (!GetOpenFileNameW(&ofn)) return false;
  FileName = file.data();
  return true;
}

}  // namespace ui
