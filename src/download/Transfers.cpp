#include "download/Transfers.h"

#include <windows.h>

#include <map>
#include <mutex>

#include "download/FileDownLoadThread.h"
#include "download/TargetLock.h"
#include "ui/LongPath.h"

namespace download {

namespace {

// Never destroyed: runs still going when the process ends may touch it during static
// destruction.
struct TRegistry {
  std::mutex Mutex;
  std::map<TFileDownLoadThread*, std::wstring> Live;  // run -> key of its temporary file
};

TRegistry& Registry() {
  static TRegistry* registry = new TRegistry;
  return *registry;
}

bool AllDigits(std::wstring_view text) {
  if (text.empty()) return false;
  for (wchar_t c : text)
    if (c < L'0' || c > L'9') return false;
  return true;
}

}  // namespace

namespace detail {

void Register(TFileDownLoadThread* thread) {
  std::lock_guard lock(Registry().Mutex);
  Registry().Live.emplace(thread, std::wstring());
}

void SetPartFile(TFileDownLoadThread* thread, const std::wstring& path) {
  std::wstring key = PathKey(path);
  std::lock_guard lock(Registry().Mutex);
  Registry().Live[thread] = std::move(key);
}

void Unregister(TFileDownLoadThread* thread) {
  std::lock_guard lock(Registry().Mutex);
  Registry().Live.erase(thread);
}

}  // namespace detail

int LiveTransferCount() {
  std::lock_guard lock(Registry().Mutex);
  return static_cast<int>(Registry().Live.size());
}

bool StopAllTransfers(std::chrono::milliseconds wait) {
  {
    std::lock_guard lock(Registry().Mutex);
    // A run unregisters itself under this lock before it goes away, so every pointer
    // here is alive.
    for (auto& [thread, part] : Registry().Live) thread->Abandon();
  }
  auto deadline = std::chrono::steady_clock::now() + wait;
  while (LiveTransferCount() > 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    // A run may be inside a notification that waits for this thread: answer sent
    // messages (only those) while waiting.
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(std::min<long long>(left.count(), 20)),
                              QS_SENDMESSAGE);
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  return true;
}

bool IsPartFileName(const std::wstring& name) {
  constexpr std::wstring_view kSuffix = L".part";
  std::wstring_view rest(name);
  if (rest.size() <= kSuffix.size() || _wcsicmp(rest.substr(rest.size() - 5).data(), L".part"))
    return false;
  rest.remove_suffix(kSuffix.size());
  size_t dot = rest.rfind(L'.');
  if (dot == std::wstring_view::npos || dot == 0) return false;
  std::wstring_view ids = rest.substr(dot + 1);
  size_t dash = ids.find(L'-');
  return dash != std::wstring_view::npos && AllDigits(ids.substr(0, dash)) &&
         AllDigits(ids.substr(dash + 1));
}

std::wstring PartFilePath(const std::wstring& target, unsigned long process, unsigned long thread) {
  constexpr size_t kMaxComponent = 255;
  std::wstring suffix = L"." + std::to_wstring(process) + L"-" + std::to_wstring(thread) + L".part";
  size_t nameStart = target.find_last_of(L"\\/") + 1;  // 0 when there is no folder
  std::wstring path = target;
  if (path.size() - nameStart + suffix.size() > kMaxComponent) {
    path.resize(nameStart + kMaxComponent - suffix.size());
    // Never half a surrogate pair.
    if (path.back() >= 0xD800 && path.back() <= 0xDBFF) path.pop_back();
  }
  return path + suffix;
}

int RemoveStalePartFiles(const std::wstring& folder) {
  std::wstring base = folder.empty() ? folder : ui::LongPath(folder);
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((base + L"*.part").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    if (!IsPartFileName(found.cFileName)) continue;
    std::wstring path = base + found.cFileName;
    std::wstring key = PathKey(path);
    bool live = false;
    {
      std::lock_guard lock(Registry().Mutex);
      for (const auto& [thread, part] : Registry().Live) live = live || part == key;
    }
    if (!live && DeleteFileW(path.c_str())) ++removed;
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return removed;
}

}  // namespace download
