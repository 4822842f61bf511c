// The copy of the last catalogue that verified, kept for when the update server cannot
// be reached. The copy is trusted no more than the server: with a publisher key it is
// shown only with the publisher's signature of exactly its bytes, so a copy changed on
// disk is refused like a tampered download.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue/Catalogue.h"
#include "signing/Signature.h"
#include "ui/Application.h"

namespace catalogue {

namespace {

// Writes `bytes` to path + ".new" and renames it over `path`; the old file stays whole
// until the new one is.
bool WriteWhole(const std::wstring& path, const std::string& bytes) {
  std::wstring temporary = path + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size() && FlushFileBuffers(file);
  CloseHandle(file);
  ok = ok && MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}

// The whole file, at most `maxBytes`; nullopt when it does not exist. Throws when it
// exists but cannot be read whole.
std::optional<std::string> ReadWhole(const std::wstring& path, size_t maxBytes,
                                     FILETIME* written = nullptr) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::nullopt;
    throw ECatalogueError("無法讀取儲存的 UI 清單 " + ui::Narrow(path) + " (錯誤 " +
                          std::to_string(error) + ")");
  }
  LARGE_INTEGER size{};
  std::string bytes;
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= static_cast<long long>(maxBytes);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
         got == bytes.size();
  }
  if (ok && written) ok = GetFileTime(file, nullptr, nullptr, written);
  CloseHandle(file);
  if (!ok) throw ECatalogueError("無法讀取儲存的 UI 清單 " + ui::Narrow(path));
  return bytes;
}

std::wstring LocalTimeText(const FILETIME& utc) {
  FILETIME local{};
  SYSTEMTIME time{};
  SYSTEMTIME now{};
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &time)) return L"?";
  GetLocalTime(&now);
  wchar_t text[32] = {};
  if (time.wYear == now.wYear)
    swprintf(text, 32, L"%02u/%02u %02u:%02u", time.wMonth, time.wDay, time.wHour, time.wMinute);
  else
    swprintf(text, 32, L"%u/%02u/%02u %02u:%02u", time.wYear, time.wMonth, time.wDay, time.wHour,
             time.wMinute);
  return text;
}

}  // namespace

bool SaveCatalogue(const std::wstring& path, const std::string& bytes,
                   const std::string& signature) {
  // The signature first: a save cut short between the two leaves a pair that does not
  // verify, which is refused, never a copy shown with another copy's signature.
  std::wstring signaturePath = path + L".sig";
  if (signature.empty()) {
    if (!DeleteFileW(signaturePath.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  } else if (!WriteWhole(signaturePath, signature)) {
    return false;
  }
  return WriteWhole(path, bytes);
}

std::optional<TSavedCatalogue> LoadSavedCatalogue(const std::wstring& path) {
  FILETIME written{};
  std::optional<std::string> bytes = ReadWhole(path, kMaxCatalogueBytes, &written);
  if (!bytes) return std::nullopt;
  if (signing::Verifies()) {
    std::optional<std::string> signature = ReadWhole(path + L".sig", 1024);
    if (!signature || signature->size() != signing::kSignatureSize ||
        !signing::VerifySignature(
            signing::PublisherKeys(),
            {reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()},
            {reinterpret_cast<const std::uint8_t*>(signature->data()), signature->size()}))
      throw ECatalogueError("儲存的 UI 清單 " + ui::Narrow(path) +
                            " 沒有發行者的有效簽章 (可能遭到竄改),已拒絕載入");
  }
  CheckCatalogueBytes(*bytes);
  return TSavedCatalogue{std::move(*bytes), LocalTimeText(written)};
}

}  // namespace catalogue
