// Stands in for the manager when a batch file starts it: writes its own full path
// (UTF-16) into "started.txt" beside itself and ends once no "hold.txt" lies there.
#include <windows.h>

#include <string>

int wmain() {
  wchar_t self[MAX_PATH * 2] = {};
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  std::wstring path(self, length);
  std::wstring marker = path.substr(0, path.find_last_of(L'\\') + 1) + L"started.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, path.data(), static_cast<DWORD>(path.size() * sizeof(wchar_t)), &written,
            nullptr);
  CloseHandle(file);
  std::wstring hold = marker.substr(0, marker.size() - 11) + L"hold.txt";
  while (GetFileAttributesW(hold.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(20);
  return 0;
}
