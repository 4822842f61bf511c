// Drawing skin images with GDI. A TSkinPainter turns each TSkinBitmap it is given into
// a DIB section once and keeps it (keyed by the bitmap's address and pixel buffer, so
// the painter must not outlive the skin it drew, or must be Clear()ed when the skin is
// replaced). Frames are counted from 0 and lie side by side in an image. Magenta
// (0xFF00FF) pixels are left out by the transparent draws.
//
// Nothing here fails the caller: an empty image, a frame out of range or an empty
// rectangle draws nothing. Every GDI object has an owner.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <span>
#include <utility>

#include "skin/SkinModel.h"

namespace skin {

// Owner of one GDI object (bitmap, brush, pen, font, region).
template <typename T>
class TGdiObject {
 public:
  TGdiObject() = default;
  explicit TGdiObject(T handle) : FHandle(handle) {}
  ~TGdiObject() { Reset(); }
  TGdiObject(TGdiObject&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TGdiObject& operator=(TGdiObject&& other) noexcept {
    if (this != &other) {
      Reset();
      FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
  }
  TGdiObject(const TGdiObject&) = delete;
  TGdiObject& operator=(const TGdiObject&) = delete;

  T Get() const { return FHandle; }
  explicit operator bool() const { return FHandle != nullptr; }
  T Release() { return std::exchange(FHandle, nullptr); }
  void Reset(T handle = nullptr) {
    if (FHandle) DeleteObject(FHandle);
    FHandle = handle;
  }

 private:
  T FHandle = nullptr;
};

using TGdiBitmap = TGdiObject<HBITMAP>;
using TGdiBrush = TGdiObject<HBRUSH>;
using TGdiRegion = TGdiObject<HRGN>;
using TGdiFont = TGdiObject<HFONT>;
using TGdiPen = TGdiObject<HPEN>;

// A memory DC compatible with another DC (the screen when null); deleted with it.
class TMemoryDC {
 public:
  explicit TMemoryDC(HDC compatible = nullptr) : FDC(CreateCompatibleDC(compatible)) {}
  ~TMemoryDC() {
    if (FDC) DeleteDC(FDC);
  }
  TMemoryDC(const TMemoryDC&) = delete;
  TMemoryDC& operator=(const TMemoryDC&) = delete;
  HDC Get() const { return FDC; }

 private:
  HDC FDC;
};

// Selects an object into a DC for a scope and puts the previous one back.
class TSelectObject {
 public:
  TSelectObject(HDC dc, HGDIOBJ object) : FDC(dc), FOld(SelectObject(dc, object)) {}
  ~TSelectObject() {
    if (FOld) SelectObject(FDC, FOld);
  }
  TSelectObject(const TSelectObject&) = delete;
  TSelectObject& operator=(const TSelectObject&) = delete;

 private:
  HDC FDC;
  HGDIOBJ FOld;
};

// A 32-bit top-down DIB section of width x height pixels; Bits() are 0x00RRGGBB.
TGdiBitmap CreateDib(int width, int height, uint32_t** bits = nullptr);

// A DIB section holding a copy of the bitmap's pixels (null for an empty bitmap).
TGdiBitmap CreateDibFromBitmap(const TSkinBitmap& bitmap);

// How the middle part of a three-part cut fills its space.
enum class TFill { Stretch, Tile };

class TSkinPainter {
 public:
  TSkinPainter();
  ~TSkinPainter();
  TSkinPainter(const TSkinPainter&) = delete;
  TSkinPainter& operator=(const TSkinPainter&) = delete;

  // Forgets every cached DIB (call when the skin is replaced or freed).
  void Clear();

  // Draws the source rectangle of the image into dest, stretched when the sizes differ;
  // transparent leaves magenta pixels out.
  void DrawPart(HDC dc, const TSkinBitmap& image, const RECT& source, const RECT& dest,
                bool transparent);
  // Fills dest by repeating the source rectangle from dest's top-left corner.
  void TilePart(HDC dc, const TSkinBitmap& image, const RECT& source, const RECT& dest,
                bool transparent);

  // Frame k of `frames` side by side, stretched into dest.
  void DrawFrame(HDC dc, const TSkinBitmap& image, int frame, int frames, const RECT& dest,
                 bool transparent = false);

  // Three-part cuts of frame k: a fixed first part of `first` pixels, a fixed last part
  // of `last`, the middle stretched or tiled. Horizontal cuts along the width (the
  // height is stretched to dest), vertical ones along the height.
  void DrawThreeHorizontal(HDC dc, const TSkinBitmap& image, int frame, int frames,
                           const RECT& dest, int first, int last, TFill fill, bool transparent);
  void DrawThreeVertical(HDC dc, const TSkinBitmap& image, int frame, int frames, const RECT& dest,
                         int first, int last, TFill fill, bool transparent);

  // Nine-part draw of frame k of an element: corners fixed by LeftWidth, RightWidth,
  // TopHeight and BottomHeight, edges and centre stretched (Tile 0) or tiled (Tile 1),
  // magenta left out when Trans is set.
  void DrawElement(HDC dc, const TSkinElement& element, int frame, const RECT& dest);
  // The same with an explicit image, frame count and borders (for elements' extra images).
  void DrawNine(HDC dc, const TSkinBitmap& image, int frame, int frames, const RECT& dest, int left,
                int top, int right, int bottom, TFill fill, bool transparent);

  // The cached DIB of an image (null for an empty image); owned by the painter.
  HBITMAP Dib(const TSkinBitmap& image);

 private:
  struct TCached;
  HDC SourceDC(const TSkinBitmap& image);

  std::map<const TSkinBitmap*, std::unique_ptr<TCached>> FCache;
  TMemoryDC FSourceDC;
  HGDIOBJ FSourceDefault = nullptr;
};

// The rectangle of frame k in an image with `frames` frames side by side.
RECT FrameRect(const TSkinBitmap& image, int frame, int frames);

// A region of the pixels of `image` that are not magenta, offset by (x, y). The caller
// owns it; an empty image gives an empty region.
TGdiRegion RegionFromImage(const TSkinBitmap& image, int x = 0, int y = 0);

// COLORREF of a 0x00RRGGBB pixel.
inline COLORREF ToColorRef(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// The stored skin package of the running executable (resource "SKINSTREAM": a 4-byte
// length followed by that many package bytes), without the length; empty when the
// executable holds none or the length is 0 or less or larger than the resource.
std::span<const uint8_t> StoredSkinStream();

}  // namespace skin
