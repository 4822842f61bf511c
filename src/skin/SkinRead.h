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

// What one package may cost. Together they hold the reading of any package of up to
// 1 MiB to well under 64 MiB: the unpacked bytes and one copy of its files, the parsed
// description, and the decoded images. A package past one of them is refused.
//
// Largest unpacked size a package may declare (a skin is well under 1 MiB).
constexpr uint32_t kMaxUnpackedSize = 16u << 20;
// Most files (of non-empty name) in a package.
constexpr size_t kMaxSkinFiles = 4096;
// Most bytes the parsed description may take (keys, values, sections, their upkeep).
constexpr size_t kMaxDescriptionBytes = 4u << 20;
// Most pixels of one bitmap, and of all the distinct images of one skin together.
constexpr int64_t kMaxBitmapPixels = 16 << 20;
constexpr int64_t kMaxSkinPixels = 6 << 20;

// Unpacks a 4-byte little-endian length N followed by an LZHUF stream into exactly N
// bytes. A stream that ends before N bytes are produced is an error.
std::vector<uint8_t> LzhUnpack(std::span<const uint8_t> packed);

struct TSkinFile {
  std::string Name;  // lower-cased
  std::vector<uint8_t> Data;
};

// The files of an unpacked package, in package order. A name line with nothing on it
// still has its size and content in the package, but names no file and is not kept.
struct TSkinPackage {
  uint32_t Format = 0;
  std::vector<TSkinFile> Files;

  // The file of this exact (lower-cased) name, or nullptr.
  const TSkinFile* Find(std::string_view name) const;
  // The first file whose name contains ".ini", or nullptr.
  const TSkinFile* Description() const;
};

// Splits unpacked package bytes: header, skipped block, names, sizes, contents. More
// than kMaxSkinFiles files is refused.
TSkinPackage SplitPackage(std::span<const uint8_t> unpacked);

// Builds the skin from a split package: the description and the images it names. Each
// image file is decoded once; every key naming it shares its pixels. A description
// past kMaxDescriptionBytes, or images past kMaxSkinPixels together, are refused.
TSkin ParseSkin(const TSkinPackage& package);

// Decodes a Windows bitmap file (1, 4, 8, 24 or 32 bits, uncompressed). An image of
// more than maxPixels (at most kMaxBitmapPixels) is refused before it is allocated.
TSkinBitmap DecodeBmp(std::span<const uint8_t> file, int64_t maxPixels = kMaxBitmapPixels);

// The package inside a stored skin stream (a 4-byte little-endian length, then that many
// bytes); empty when the length is not positive or runs past the stream.
std::span<const uint8_t> SkinStreamPackage(std::span<const uint8_t> stream);

// The face colour a skin gives its windows: the one taken from the "Top" border image,
// else the description's "ButtonFace"; unset when it has neither (the system's then).
TSkinColour SkinFaceColour(const TSkin& skin);

// ASCII lower case, the case folding of names and keys (leaves other bytes alone).
std::string LowerAscii(std::string_view text);

}  // namespace skin
