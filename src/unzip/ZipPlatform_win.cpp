// Win32 half of the platform seam. Engine paths are ANSI code page byte strings; every
// call converts them with CP_ACP to UTF-16 and uses the W functions, so a destination
// with Chinese characters works under code page 950.
#include <windows.h>
#include <commdlg.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "unzip/ZipPlatform.h"

namespace zipplatform {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
  return result;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return std::string();
  int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0, "_", nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                      result.data(), size, "_", nullptr);
  return result;
}

bool DosToFileTime(uint32_t dosDateTime, FILETIME& result) {
  FILETIME local;
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16),
                             static_cast<WORD>(dosDateTime & 0xFFFF), &local))
    return false;
  return LocalFileTimeToFileTime(&local, &result) != 0;
}

class TWinFile : public TOsFile {
 public:
  explicit TWinFile(HANDLE handle) : FHandle(handle) {}
  ~TWinFile() override { CloseHandle(FHandle); }

  int64_t Read(void* data, int64_t size) override {
    int64_t total = 0;
    while (total < size) {
      DWORD chunk = static_cast<DWORD>(size - total > (1 << 30) ? (1 << 30) : size - total);
      DWORD got = 0;
      if (!ReadFile(FHandle, static_cast<char*>(data) + total, chunk, &got, nullptr))
        return total > 0 ? total : -1;
      if (got == 0) break;
      total += got;
    }
    return total;
  }

  int64_t Write(const void* data, int64_t size) override {
    int64_t total = 0;
    while (total < size) {
      DWORD chunk = static_cast<DWORD>(size - total > (1 << 30) ? (1 << 30) : size - total);
      DWORD put = 0;
      if (!WriteFile(FHandle, static_cast<const char*>(data) + total, chunk, &put, nullptr) ||
          put == 0)
        break;
      total += put;
    }
    return total;
  }

  bool Seek(int64_t position) override {
    LARGE_INTEGER target;
    target.QuadPart = position;
    return position >= 0 && SetFilePointerEx(FHandle, target, nullptr, FILE_BEGIN) != 0;
  }
  int64_t Size() override {
    LARGE_INTEGER size;
    return GetFileSizeEx(FHandle, &size) ? size.QuadPart : -1;
  }
  bool SetSize(int64_t size) override {
    LARGE_INTEGER current = {}, target;
    target.QuadPart = size;
    if (!SetFilePointerEx(FHandle, LARGE_INTEGER{}, &current, FILE_CURRENT)) return false;
    bool done = SetFilePointerEx(FHandle, target, nullptr, FILE_BEGIN) && SetEndOfFile(FHandle);
    SetFilePointerEx(FHandle, current, nullptr, FILE_BEGIN);
    return done;
  }
  bool FlushToDisk() override { return FlushFileBuffers(FHandle) != 0; }
  bool SetDosTime(uint32_t dosDateTime) override {
    FILETIME when;
    return DosToFileTime(dosDateTime, when) && SetFileTime(FHandle, nullptr, nullptr, &when);
  }

 private:
  HANDLE FHandle;
};

}  // namespace

std::unique_ptr<TOsFile> OpenFile(const std::string& path, TOpenMode mode, TOpenError* error) {
  std::wstring wide = Wide(path);
  if (mode != TOpenMode::Read) {
    // Windows refuses to write a read-only file; Wine running as root would not, so the
    // verdict is made here, the same on both.
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
      if (error) *error = TOpenError::AccessDenied;
      return nullptr;
    }
    // Windows also refuses to create a file with normal attributes over a hidden or
    // system one; Wine does not, so that verdict is made here as well.
    if (mode == TOpenMode::Create && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) {
      if (error) *error = TOpenError::AccessDenied;
      return nullptr;
    }
  }
  DWORD access = mode == TOpenMode::Read ? GENERIC_READ : GENERIC_WRITE;
  DWORD share = mode == TOpenMode::Read ? FILE_SHARE_READ : 0;
  DWORD disposition = mode == TOpenMode::Create ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE handle = CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD code = GetLastError();
    if (error) {
      *error = (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) ? TOpenError::NotFound
               : code == ERROR_ACCESS_DENIED ? TOpenError::AccessDenied
                                             : TOpenError::Other;
    }
    return nullptr;
  }
  if (error) *error = TOpenError::None;
  return std::make_unique<TWinFile>(handle);
}

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateOneDirectory(const std::string& path) {
  return CreateDirectoryW(Wide(path).c_str(), nullptr) || DirectoryExists(path);
}

bool DeleteOneFile(const std::string& path) {
  return DeleteFileW(Wide(path).c_str()) != 0;
}

uint32_t FileDosTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return (static_cast<uint32_t>(date) << 16) | time;
}

int64_t FileModStamp(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
         data.ftLastWriteTime.dwLowDateTime;
}

bool IsReadOnly(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool ClearAttributes(const std::string& path, uint32_t attributes) {
  std::wstring wide = Wide(path);
  DWORD current = GetFileAttributesW(wide.c_str());
  if (current == INVALID_FILE_ATTRIBUTES || (current & FILE_ATTRIBUTE_DIRECTORY)) return false;
  return (current & attributes) == 0 ||
         SetFileAttributesW(wide.c_str(), current & ~attributes) != 0;
}

bool SetAttributes(const std::string& path, uint32_t attributes) {
  return SetFileAttributesW(Wide(path).c_str(), attributes) != 0;
}

bool IsRemovableDrive(char drive) {
  wchar_t root[] = {static_cast<wchar_t>(drive), L':', L'\\', 0};
  UINT type = GetDriveTypeW(root);
  return type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
}

bool DecodeOem(const std::string& raw, std::u32string& text) {
  // A Traditional Chinese system's OEM code page is 950, as is what its archivers write.
  // A byte that code page cannot decode is taken from code page 437, the DOS default,
  // rather than becoming a "?" that no file name may hold.
  text.clear();
  const UINT oem = GetOEMCP();
  for (size_t i = 0; i < raw.size();) {
    size_t length = IsDBCSLeadByteEx(oem, static_cast<BYTE>(raw[i])) && i + 1 < raw.size() ? 2 : 1;
    wchar_t wide[2];
    int units = MultiByteToWideChar(oem, MB_ERR_INVALID_CHARS, raw.data() + i,
                                    static_cast<int>(length), wide, 2);
    if (units <= 0) {
      length = 1;
      units = MultiByteToWideChar(437, 0, raw.data() + i, 1, wide, 2);
      if (units <= 0) return false;
    }
    if (units == 2 && wide[0] >= 0xD800 && wide[0] < 0xDC00) {
      text += 0x10000 + ((char32_t(wide[0]) - 0xD800) << 10) + (char32_t(wide[1]) - 0xDC00);
    } else {
      for (int k = 0; k < units; ++k) text += wide[k];
    }
    i += length;
  }
  return true;
}

std::string EngineFromUnicode(const std::u32string& text) {
  std::string result;
  result.reserve(text.size());
  for (char32_t c : text) {
    if (c < 0x80) {
      result += static_cast<char>(c);
      continue;
    }
    wchar_t wide[2];
    int units = 1;
    if (c >= 0x10000 && c < 0x110000) {
      wide[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      wide[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      units = 2;
    } else {
      wide[0] = static_cast<wchar_t>(c < 0x10000 ? c : 0xFFFD);
    }
    char narrow[8];
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units, narrow, sizeof narrow,
                                   nullptr, &usedDefault);
    if (size > 0 && !usedDefault) {
      result.append(narrow, static_cast<size_t>(size));
    } else {
      // A character the code page cannot hold: "%" and its code point keeps names apart.
      char escape[16];
      std::snprintf(escape, sizeof escape, "%%%04X", static_cast<unsigned>(c));
      result += escape;
    }
  }
  return result;
}

std::string EngineFromRaw(const std::string& raw) {
  std::string result;
  result.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    unsigned char c = static_cast<unsigned char>(raw[i]);
    int length = (c >= 0x80 && IsDBCSLeadByte(c) && i + 1 < raw.size()) ? 2 : 1;
    wchar_t wide[2];
    if (c < 0x80 ||
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, raw.data() + i, length, wide, 2) > 0) {
      result.append(raw, i, static_cast<size_t>(length));
      i += static_cast<size_t>(length);
    } else {
      // "%XX" keeps distinct names distinct.
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", c);
      result += escape;
      ++i;
    }
  }
  return result;
}

bool IsLeadByte(unsigned char byte) {
  return byte >= 0x80 && IsDBCSLeadByte(byte);
}

void ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

int ShowMessageBox(const std::string& text, const std::string& caption, uint32_t flags) {
  return MessageBoxW(nullptr, Wide(text).c_str(), Wide(caption).c_str(), flags);
}

bool BrowseForArchive(const std::string& startDir, std::string& chosen) {
  wchar_t file[MAX_PATH] = {};
  std::wstring dir = Wide(startDir);
  static const wchar_t kFilter[] =
      L"Zip Files (*.ZIP)\0*.zip\0SFX Files (*.EXE)\0*.exe\0Jar Files (*.JAR)\0*.jar\0"
      L"All Files (*.*)\0*.*\0";
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.lpstrFilter = kFilter;
  dialog.lpstrFile = file;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrInitialDir = dir.c_str();
  dialog.lpstrTitle = L"Open a Zip File";
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!GetOpenFileNameW(&dialog)) return false;
  chosen = Narrow(file);
  return true;
}

bool BrowseForFolder(const std::string& startDir, std::string& chosen) {
  std::wstring start = Wide(startDir);
  BROWSEINFOW info = {};
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = [](HWND window, UINT message, LPARAM, LPARAM data) -> int {
    if (message == BFFM_INITIALIZED) SendMessageW(window, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
  };
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (!list) return false;
  wchar_t path[MAX_PATH] = {};
  bool done = SHGetPathFromIDListW(list, path) != 0;
  CoTaskMemFree(list);
  if (done) chosen = Narrow(path);
  return done;
}

std::string CurrentDirectory() {
  wchar_t buffer[MAX_PATH];
  DWORD size = GetCurrentDirectoryW(MAX_PATH, buffer);
  return size > 0 && size < MAX_PATH ? Narrow(std::wstring(buffer, size)) : std::string();
}

}  // namespace zipplatform
