// Windows bitmap files: decoding of uncompressed 1, 4, 8, 24 and 32-bit images and
// writing of 24-bit ones. The decoder believes no field: the pixel rows must lie inside
// the file, the palette before them, and the pixel count is capped before allocating.
#include <algorithm>

#include "skin/SkinRead.h"
#include "skin/SkinWriter.h"

namespace skin {
namespace {

constexpr size_t kFileHeader = 14;

uint32_t Le(std::span<const uint8_t> bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | bytes[at + i];
  return value;
}

[[noreturn]] void Refuse(const char* what) {
  throw ESkinError(std::string("skin bitmap: ") + what);
}

}  // namespace

const std::vector<uint32_t>& TSkinPixels::Vector() const {
  static const std::vector<uint32_t> kNone;
  return FPixels ? *FPixels : kNone;
}

std::vector<uint32_t>& TSkinPixels::Own() {
  if (!FPixels) {
    FPixels = std::make_shared<std::vector<uint32_t>>();
  } else if (FPixels.use_count() > 1) {
    FPixels = std::make_shared<std::vector<uint32_t>>(*FPixels);
  }
  return *FPixels;
}

TSkinBitmap DecodeBmp(std::span<const uint8_t> file, int64_t maxPixels) {
  if (file.size() < kFileHeader + 40 || file[0] != 'B' || file[1] != 'M') Refuse("not a bitmap");
  const uint32_t pixelOffset = Le(file, 10, 4);
  const uint32_t infoSize = Le(file, 14, 4);
  if (infoSize < 40 || infoSize > file.size() - kFileHeader) Refuse("bad header size");
  const int32_t width = static_cast<int32_t>(Le(file, 18, 4));
  const int32_t rawHeight = static_cast<int32_t>(Le(file, 22, 4));
  const uint32_t planes = Le(file, 26, 2);
  const uint32_t bits = Le(file, 28, 2);
  const uint32_t compression = Le(file, 30, 4);
  const uint32_t colorsUsed = Le(file, 46, 4);

  if (planes != 1) Refuse("bad plane count");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) Refuse("unsupported depth");
  if (compression != 0 && !(compression == 3 && bits == 32)) Refuse("compressed");
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) Refuse("bad size");
  const bool topDown = rawHeight < 0;
  const int64_t height = topDown ? -int64_t(rawHeight) : rawHeight;
  if (int64_t(width) * height > std::min(maxPixels, kMaxBitmapPixels)) Refuse("too large");

  // Palette between the header and the pixels.
  const size_t paletteAt = kFileHeader + infoSize;
  size_t paletteCount = 0;
  if (bits <= 8) {
    paletteCount = colorsUsed == 0 ? (size_t(1) << bits) : colorsUsed;
    if (paletteCount > (size_t(1) << bits)) Refuse("bad palette size");
  }
  if (pixelOffset < paletteAt + paletteCount * 4 && paletteCount > 0)
    Refuse("palette overlaps pixels");
  if (pixelOffset < paletteAt && bits > 8) Refuse("pixels overlap header");
  const uint64_t stride = ((uint64_t(width) * bits + 31) / 32) * 4;
  if (pixelOffset > file.size() || stride * uint64_t(height) > file.size() - pixelOffset) {
    Refuse("pixels truncated");
  }

  TSkinBitmap bitmap;
  bitmap.Width = width;
  bitmap.Height = static_cast<int>(height);
  std::vector<uint32_t> pixels(size_t(width) * size_t(height));
  auto paletteColour = [&](uint32_t index) -> uint32_t {
    if (index >= paletteCount) return 0;
    const size_t at = paletteAt + index * 4;
    return (uint32_t(file[at + 2]) << 16) | (uint32_t(file[at + 1]) << 8) | file[at];
  };
  for (int64_t row = 0; row < height; ++row) {
    const size_t rowAt = pixelOffset + size_t(stride) * size_t(topDown ? row : height - 1 - row);
    uint32_t* out = &pixels[size_t(row) * size_t(width)];
    for (int32_t x = 0; x < width; ++x) {
      switch (bits) {
        case 1:
          out[x] = paletteColour((file[rowAt + x / 8] >> (7 - x % 8)) & 1u);
          break;
        case 4:
          out[x] = paletteColour((file[rowAt + x / 2] >> (x % 2 ? 0 : 4)) & 0xFu);
          break;
        case 8:
          out[x] = paletteColour(file[rowAt + x]);
          break;
        default: {
          const size_t at = rowAt + size_t(x) * (bits / 8);
          out[x] = (uint32_t(file[at + 2]) << 16) | (uint32_t(file[at + 1]) << 8) | file[at];
        }
      }
    }
  }
  bitmap.Pixels = std::move(pixels);
  return bitmap;
}

std::vector<uint8_t> WriteBmp24(const TSkinBitmap& bitmap) {
  const size_t stride = (size_t(bitmap.Width) * 3 + 3) & ~size_t(3);
  const size_t imageSize = stride * size_t(bitmap.Height);
  const uint32_t fileSize = static_cast<uint32_t>(kFileHeader + 40 + imageSize);
  std::vector<uint8_t> out;
  out.reserve(fileSize);
  auto put = [&](uint32_t value, int width) {
    for (int i = 0; i < width; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  out.push_back('B');
  out.push_back('M');
  put(fileSize, 4);
  put(0, 4);
  put(kFileHeader + 40, 4);
  put(40, 4);
  put(static_cast<uint32_t>(bitmap.Width), 4);
  put(static_cast<uint32_t>(bitmap.Height), 4);
  put(1, 2);
  put(24, 2);
  put(0, 4);
  put(static_cast<uint32_t>(imageSize), 4);
  put(2835, 4);
  put(2835, 4);
  put(0, 4);
  put(0, 4);
  for (int row = bitmap.Height - 1; row >= 0; --row) {
    for (int x = 0; x < bitmap.Width; ++x) {
      const uint32_t pixel = bitmap.Pixel(x, row);
      out.push_back(static_cast<uint8_t>(pixel));
      out.push_back(static_cast<uint8_t>(pixel >> 8));
      out.push_back(static_cast<uint8_t>(pixel >> 16));
    }
    out.resize(out.size() + stride - size_t(bitmap.Width) * 3, 0);
  }
  return out;
}

}  // namespace skin
