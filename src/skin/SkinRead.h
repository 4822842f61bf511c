// The steps of reading a skin package, each usable alone (the benchmark, the fuzz
// targets and the tests call them one by one). Portable. Every input is untrusted:
// sizes are checked against the bytes actually present before anything is allocated
// or read, and failures throw ESkinError (ESkinOldFormat for an unknown format).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "skin/SkinModel.h"

namespace skin {

// Largest unpacked size a package may declare.
constexpr uint32_t kMaxUnpackedSize = 64u << 20;

// Unpacks a 4-byte little-endian length N followed by an LZHUF stream into exactly N
// bytes. A stream that ends before N bytes are produced is an error.
std::vector<uint8_t> LzhUnpack(std::span<const uint8_t> packed);

struct TSkinFile {
  std::string Name;  // lower-cased
  std::vector<uint8_t> Data;
};

// The files of an unpacked package, in package order.
struct TSkinPackage {
  uint32_t Format = 0;
  std::vector<TSkinFile> Files;

  // The file of this exact (lower-cased) name, or nullptr.
  const TSkinFile* Find(std::string_view name) const;
  // The first file whose name contains ".ini", or nullptr.
  const TSkinFile* Description() const;
};

// Splits unpacked package bytes: header, skipped block, names, sizes, contents.
TSkinPackage SplitPackage(std::span<const uint8_t> unpacked);

// Builds the skin from a split package: the description and the images it names.
TSkin ParseSkin(const TSkinPackage& package);

// Decodes a Windows bitmap file (1, 4, 8, 24 or 32 bits, uncompressed).
TSkinBitmap DecodeBmp(std::span<const uint8_t> file);

// ASCII lower case, the case folding of names and keys (leaves other bytes alone).
std::string LowerAscii(std::string_view text);

}  // namespace skin
