#include "download/TargetLock.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>

#include "ui/LongPath.h"

namespace download {

namespace {

// Never destroyed: runs still going when the process ends may use them during static
// destruction.
struct TLocks {
  std::mutex Mutex;
  std::condition_variable Released;
  std::set<std::wstring> Held;  // keys of the files being written
};

TLocks& Locks() {
  static TLocks* locks = new TLocks;
  return *locks;
}

}  // namespace

std::wstring PathKey(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length =
      GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  full.resize(length == 0 ? 0 : length);
  if (full.empty()) full = path;
  full = ui::PlainPath(full);  // one file, whichever form names it
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  return full;
}

TTargetLock::TTargetLock(const std::wstring& path, const std::function<bool()>& cancelled)
    : FKey(PathKey(path)) {
  std::unique_lock lock(Locks().Mutex);
  while (Locks().Held.count(FKey) != 0) {
    if (cancelled()) return;
    Locks().Released.wait_for(lock, std::chrono::milliseconds(50));
  }
  Locks().Held.insert(FKey);
  FHeld = true;
}

TTargetLock::~TTargetLock() {
  if (!FHeld) return;
  {
    std::lock_guard lock(Locks().Mutex);
    Locks().Held.erase(FKey);
  }
  Locks().Released.notify_all();
}

}  // namespace download
