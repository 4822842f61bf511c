// Writing skin packages, for the skin packer and for tests that build small skins.
// Portable. The output is what the reader expects: LzhPack gives a 4-byte unpacked
// length followed by the LZHUF stream, WritePackage a whole packed package.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "skin/SkinModel.h"

namespace skin {

// Format numbers the reader knows (each with its own skipped block size).
constexpr uint32_t kSkinFormat = 70000;

struct TSkinPackFile {
  std::string Name;
  std::vector<uint8_t> Data;
};

// Packs bytes with LZHUF: 4-byte little-endian length, then the bit stream.
std::vector<uint8_t> LzhPack(std::span<const uint8_t> data);

// The unpacked package bytes: header, a zero-filled skipped block for the format, the
// names one per line (CR LF), the sizes, the contents. Throws ESkinError for a format
// the reader would refuse.
std::vector<uint8_t> BuildPackage(uint32_t format, const std::vector<TSkinPackFile>& files);

// BuildPackage, then LzhPack.
std::vector<uint8_t> WritePackage(uint32_t format, const std::vector<TSkinPackFile>& files);

// The stored skin stream of a package: its 4-byte little-endian length, then the package.
std::vector<uint8_t> SkinStreamOf(std::span<const uint8_t> package);

// A 24-bit bottom-up Windows bitmap file of the pixels (0x00RRGGBB).
std::vector<uint8_t> WriteBmp24(const TSkinBitmap& bitmap);

// The size of the skipped block after the header for a format number, or -1 when the
// format is unknown.
int SkippedBlockSize(uint32_t format);

}  // namespace skin
