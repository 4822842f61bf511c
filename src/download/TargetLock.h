// Process-wide exclusion of downloads by target file: at most one holder per file.
#pragma once

#include <functional>
#include <string>

namespace download {

// The key of a file: its full path, upper-cased as the file system compares names.
std::wstring PathKey(const std::wstring& path);

class TTargetLock {
 public:
  // Waits until no other holder has the same file (same full path, case-insensitive),
  // then holds it. Gives up, without holding, as soon as `cancelled` returns true; it is
  // polled while waiting.
  TTargetLock(const std::wstring& path, const std::function<bool()>& cancelled);
  ~TTargetLock();
  TTargetLock(const TTargetLock&) = delete;
  TTargetLock& operator=(const TTargetLock&) = delete;

  bool Held() const { return FHeld; }

 private:
  std::wstring FKey;
  bool FHeld = false;
};

}  // namespace download
