// Detached signatures of the publication: ECDSA P-256 over SHA-256 of a file's bytes.
//
// A signature file holds exactly 64 bytes, r then s, each a 32-byte big-endian number.
// The manager carries the publisher's public keys from the build (one, several while
// the publisher changes keys, or none when built to verify nothing) and checks with the
// platform's cryptography (CNG): a signature by any of the keys verifies. This module
// says whether bytes are signed; what to do with a refused file is the caller's.
// It does not fetch anything; PublicationTime.h keeps older signed publications out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace signing {

inline constexpr std::size_t kSignatureSize = 64;

using TDigest = std::array<std::uint8_t, 32>;

// An ECDSA P-256 public key: the affine coordinates of its point, big-endian.
struct TPublicKey {
  std::array<std::uint8_t, 32> X{};
  std::array<std::uint8_t, 32> Y{};
};

// True when this build verifies publications (it carries a publisher key).
bool Verifies();
// The keys this build verifies with, in the order the build was given them; empty when
// it verifies nothing.
std::span<const TPublicKey> PublisherKeys();

// One running SHA-256 through CNG: feed blocks, then take the digest once. Throws
// Exception (with a user-visible reason) when the platform cannot hash.
class TSha256 {
 public:
  TSha256();
  ~TSha256();
  TSha256(const TSha256&) = delete;
  TSha256& operator=(const TSha256&) = delete;
  void Add(const void* bytes, std::size_t size);
  TDigest Finish();

 private:
  void* FHash = nullptr;  // BCRYPT_HASH_HANDLE
};

// SHA-256 of bytes. Throws Exception when the platform cannot hash.
TDigest Sha256(std::span<const std::uint8_t> bytes);
// SHA-256 of a file's bytes, read in blocks; false when the file cannot be read.
// Throws Exception when the platform cannot hash.
bool Sha256File(const std::wstring& path, TDigest& digest);

// How a file's signature was judged.
enum class TVerdict {
  Valid,
  MalformedSignature,  // not exactly kSignatureSize bytes
  Invalid,             // well-formed, but not the key's signature of these bytes
};

// True when signature is one of the keys' signature of the bytes' SHA-256. A signature
// of any other size, a key not on the curve and a refused check are all false. Throws
// Exception when the platform has no ECDSA P-256 or SHA-256.
bool VerifySignature(std::span<const TPublicKey> keys, std::span<const std::uint8_t> bytes,
                     std::span<const std::uint8_t> signature);

// Judges signature bytes fetched for a file whose SHA-256 is digest: MalformedSignature
// for any size but kSignatureSize, else Valid (signed by any of the keys) or Invalid.
// Throws Exception when the platform has no ECDSA P-256.
TVerdict CheckDigest(std::span<const TPublicKey> keys, const TDigest& digest,
                     std::span<const std::uint8_t> signature);

}  // namespace signing
