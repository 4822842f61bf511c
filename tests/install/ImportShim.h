// Replaces, for this test executable only, a system function it imports (its import
// table slot), to stage what Windows or another drive does and Wine here does not: a
// refused rename, no hard links, no recycle bin, the 260-character path limit.
#pragma once

#include <windows.h>

#include <cstring>
#include <cwchar>

template <typename F>
class TImportShim {
 public:
  TImportShim(const char* name, F* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name; ++dll) {
      auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
      auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
      for (; names->u1.AddressOfData; ++names, ++slots)
        if (!IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) &&
            !std::strcmp(
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                name))
          FSlot = reinterpret_cast<void**>(&slots->u1.Function);
    }
    if (!FSlot) return;  // not imported: nothing calls it
    DWORD was;
    VirtualProtect(FSlot, sizeof(void*), PAGE_READWRITE, &was);  // left writable
    Original = reinterpret_cast<F*>(*FSlot);
    *FSlot = reinterpret_cast<void*>(replacement);
  }
  ~TImportShim() {
    if (FSlot) *FSlot = reinterpret_cast<void*>(Original);
  }
  static inline F* Original = nullptr;
  void** FSlot = nullptr;
};

// True for a path Windows refuses and Wine takes: a plain one (without "\\?\") of 260
// characters or more, or one with a component past 255 characters in any form.
inline bool PathPastWindowsLimits(LPCWSTR path) {
  if (std::wcslen(path) >= MAX_PATH && std::wcsncmp(path, L"\\\\?\\", 4) != 0) return true;
  for (const wchar_t* start = path; *start;) {
    const wchar_t* end = std::wcspbrk(start, L"\\/");
    size_t length = end ? static_cast<size_t>(end - start) : std::wcslen(start);
    if (length > 255) return true;
    if (!end) break;
    start = end + 1;
  }
  return false;
}

// While it lives, the executable's own opens, moves and attribute reads refuse the paths
// Windows refuses.
struct TWindowsPathLimits {
  template <typename F>
  using S = TImportShim<F>;
  S<decltype(CreateFileW)> Files{
      "CreateFileW",
      [](LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
         DWORD flags, HANDLE model) -> HANDLE {
        if (PathPastWindowsLimits(path))
          return SetLastError(ERROR_PATH_NOT_FOUND), INVALID_HANDLE_VALUE;
        return S<decltype(CreateFileW)>::Original(path, access, share, security, disposition, flags,
                                                  model);
      }};
  S<decltype(MoveFileExW)> Moves{"MoveFileExW", [](LPCWSTR from, LPCWSTR to, DWORD flags) -> BOOL {
                                   if (PathPastWindowsLimits(from) || PathPastWindowsLimits(to))
                                     return SetLastError(ERROR_PATH_NOT_FOUND), FALSE;
                                   return S<decltype(MoveFileExW)>::Original(from, to, flags);
                                 }};
  S<decltype(GetFileAttributesExW)> Attributes{
      "GetFileAttributesExW", [](LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data) -> BOOL {
        if (PathPastWindowsLimits(path)) return SetLastError(ERROR_PATH_NOT_FOUND), FALSE;
        return S<decltype(GetFileAttributesExW)>::Original(path, level, data);
      }};
};
