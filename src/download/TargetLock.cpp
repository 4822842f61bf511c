#include "download/TargetLock.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

namespace download {

namespace {

std::mutex gMutex;
std::condition_variable gReleased;
std::set<std::wstring> gHeld;  // keys of the files being written

// The key of a file: its full path, upper-cased as the file system compares names.
std::wstring KeyOf(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(length == 0 ? 0 : length);
  if (full.empty()) full = path;
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  return full;
}

}  // namespace

TTargetLock::TTargetLock(const std::wstring& path, const std::function<bool()>& cancelled)
    : FKey(KeyOf(path)) {
  std::unique_lock lock(gMutex);
  while (gHeld.count(FKey) != 0) {
    if (cancelled()) return;
    gReleased.wait_for(lock, std::chrono::milliseconds(50));
  }
  gHeld.insert(FKey);
  FHeld = true;
}

TTargetLock::~TTargetLock() {
  if (!FHeld) return;
  {
    std::lock_guard lock(gMutex);
    gHeld.erase(FKey);
  }
  gReleased.notify_all();
}

}  // namespace download
