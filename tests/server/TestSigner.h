// Signs test publications with the build tree's throwaway publisher keys, so the test
// server can answer "<path>.sig" for whatever it serves at <path>, and with keys made
// in memory that no build trusts.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace testserver {

// The 64-byte signature (r then s) of bytes by the build's throwaway key (key 0), or by
// the key a key change would move to (key 1); nullopt when this build has no such
// private key (a build that verifies nothing, or one given only public keys).
std::optional<std::string> SignForTests(const std::string& bytes, int key = 0);

// An ECDSA P-256 pair made in memory for one test and never stored.
class TThrowawayKey {
 public:
  TThrowawayKey();
  ~TThrowawayKey();
  TThrowawayKey(const TThrowawayKey&) = delete;
  TThrowawayKey& operator=(const TThrowawayKey&) = delete;
  // X then Y of the public point, big-endian.
  std::array<unsigned char, 64> PublicPoint() const;
  // The 64-byte signature (r then s) of bytes.
  std::string Sign(const std::string& bytes) const;

 private:
  void* FAlgorithm = nullptr;  // BCRYPT_ALG_HANDLE
  void* FKey = nullptr;        // BCRYPT_KEY_HANDLE
};

}  // namespace testserver
