// GDI drawing of skin images (see SkinPaint.h). Every cut goes through one grid draw:
// each axis is split into a fixed first part, a middle and a fixed last part, and a
// cell whose destination differs in size from its source is stretched or tiled.
#include "skin/SkinPaint.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace skin {

struct TSkinPainter::TCached {
  const uint32_t* Pixels = nullptr;  // the buffer the DIB was made from
  int Width = 0;
  int Height = 0;
  TGdiBitmap Dib;
};

namespace {

// One axis of a grid cut: source and destination offsets and lengths of the parts.
struct TSpan {
  int SourceAt, SourceLength, DestAt, DestLength;
  bool Fixed;
};

// Splits a source length into first / middle / last and fits them to the destination:
// the fixed parts keep their size (cut when the destination is too small), the middle
// takes the rest; with no middle in the source the whole source serves as middle.
std::vector<TSpan> SplitAxis(int source, int dest, int first, int last) {
  first = std::clamp(first, 0, source);
  last = std::clamp(last, 0, source - first);
  const int destFirst = std::min(first, dest);
  const int destLast = std::min(last, dest - destFirst);
  const int destMiddle = dest - destFirst - destLast;
  std::vector<TSpan> spans;
  if (destFirst > 0) spans.push_back({0, destFirst, 0, destFirst, true});
  if (destMiddle > 0) {
    const int middle = source - first - last;
    if (middle > 0) {
      spans.push_back({first, middle, destFirst, destMiddle, false});
    } else {
      spans.push_back({0, source, destFirst, destMiddle, false});
    }
  }
  if (destLast > 0) spans.push_back({source - destLast, destLast, dest - destLast, destLast, true});
  return spans;
}

}  // namespace

TGdiBitmap CreateDib(int width, int height, uint32_t** bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  TGdiBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0));
  if (bits) *bits = dib ? static_cast<uint32_t*>(pixels) : nullptr;
  return dib;
}

TGdiBitmap CreateDibFromBitmap(const TSkinBitmap& bitmap) {
  if (bitmap.Empty()) return {};
  uint32_t* bits = nullptr;
  TGdiBitmap dib = CreateDib(bitmap.Width, bitmap.Height, &bits);
  if (bits) {
    GdiFlush();
    std::memcpy(bits, bitmap.Pixels.data(), bitmap.Pixels.size() * sizeof(uint32_t));
  }
  return dib;
}

RECT FrameRect(const TSkinBitmap& image, int frame, int frames) {
  if (frames < 1) frames = 1;
  const int width = image.Width / frames;
  if (frame < 0 || frame >= frames || width <= 0) return RECT{0, 0, 0, 0};
  return RECT{frame * width, 0, (frame + 1) * width, image.Height};
}

TSkinPainter::TSkinPainter() = default;

TSkinPainter::~TSkinPainter() {
  Clear();
}

void TSkinPainter::Clear() {
  if (FSourceDefault) {
    SelectObject(FSourceDC.Get(), FSourceDefault);
    FSourceDefault = nullptr;
  }
  FCache.clear();
}

HBITMAP TSkinPainter::Dib(const TSkinBitmap& image) {
  if (image.Empty()) return nullptr;
  std::unique_ptr<TCached>& cached = FCache[&image];
  if (!cached || cached->Pixels != image.Pixels.data() || cached->Width != image.Width ||
      cached->Height != image.Height) {
    if (cached && FSourceDefault) {
      SelectObject(FSourceDC.Get(), FSourceDefault);
      FSourceDefault = nullptr;
    }
    cached = std::make_unique<TCached>();
    cached->Pixels = image.Pixels.data();
    cached->Width = image.Width;
    cached->Height = image.Height;
    cached->Dib = CreateDibFromBitmap(image);
  }
  return cached->Dib.Get();
}

HDC TSkinPainter::SourceDC(const TSkinBitmap& image) {
  HBITMAP dib = Dib(image);
  if (!dib || !FSourceDC.Get()) return nullptr;
  HGDIOBJ old = SelectObject(FSourceDC.Get(), dib);
  if (!FSourceDefault) FSourceDefault = old;
  return FSourceDC.Get();
}

void TSkinPainter::DrawPart(HDC dc, const TSkinBitmap& image, const RECT& source, const RECT& dest,
                            bool transparent) {
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  if (source.left < 0 || source.top < 0 || source.right > image.Width ||
      source.bottom > image.Height)
    return;
  HDC src = SourceDC(image);
  if (!src) return;
  if (transparent) {
    TransparentBlt(dc, dest.left, dest.top, dw, dh, src, source.left, source.top, sw, sh,
                   RGB(0xFF, 0x00, 0xFF));
  } else if (sw == dw && sh == dh) {
    BitBlt(dc, dest.left, dest.top, dw, dh, src, source.left, source.top, SRCCOPY);
  } else {
    const int oldMode = SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, dest.left, dest.top, dw, dh, src, source.left, source.top, sw, sh, SRCCOPY);
    SetStretchBltMode(dc, oldMode);
  }
}

void TSkinPainter::TilePart(HDC dc, const TSkinBitmap& image, const RECT& source, const RECT& dest,
                            bool transparent) {
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  if (source.left < 0 || source.top < 0 || source.right > image.Width ||
      source.bottom > image.Height)
    return;
  if (sw >= dw && sh >= dh) {
    DrawPart(dc, image, RECT{source.left, source.top, source.left + dw, source.top + dh}, dest,
             transparent);
    return;
  }
  // Repeat the pixels into one bitmap covering the visible part of the destination and
  // draw that once: a blit per tile is slow for the narrow middles skins like to use.
  RECT visible = dest;
  RECT clip;
  if (GetClipBox(dc, &clip) != ERROR && !IntersectRect(&visible, &dest, &clip)) return;
  const int vw = visible.right - visible.left, vh = visible.bottom - visible.top;
  uint32_t* bits = nullptr;
  TGdiBitmap tiles = CreateDib(vw, vh, &bits);
  TMemoryDC tilesDC;
  if (!bits || !tilesDC.Get()) return;
  GdiFlush();
  const int phaseX = visible.left - dest.left, phaseY = visible.top - dest.top;
  for (int y = 0; y < vh; ++y) {
    const int row = source.top + (y + phaseY) % sh;
    uint32_t* out = bits + static_cast<size_t>(y) * static_cast<size_t>(vw);
    for (int x = 0; x < vw; ++x) out[x] = image.Pixel(source.left + (x + phaseX) % sw, row);
  }
  TSelectObject select(tilesDC.Get(), tiles.Get());
  if (transparent) {
    TransparentBlt(dc, visible.left, visible.top, vw, vh, tilesDC.Get(), 0, 0, vw, vh,
                   RGB(0xFF, 0x00, 0xFF));
  } else {
    BitBlt(dc, visible.left, visible.top, vw, vh, tilesDC.Get(), 0, 0, SRCCOPY);
  }
}

void TSkinPainter::DrawNine(HDC dc, const TSkinBitmap& image, int frame, int frames,
                            const RECT& dest, int left, int top, int right, int bottom, TFill fill,
                            bool transparent) {
  const RECT source = FrameRect(image, frame, frames);
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  const int dw = dest.right - dest.left, dh = dest.bottom - dest.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
  for (const TSpan& row : SplitAxis(sh, dh, top, bottom)) {
    for (const TSpan& column : SplitAxis(sw, dw, left, right)) {
      const RECT from{source.left + column.SourceAt, source.top + row.SourceAt,
                      source.left + column.SourceAt + column.SourceLength,
                      source.top + row.SourceAt + row.SourceLength};
      const RECT to{dest.left + column.DestAt, dest.top + row.DestAt,
                    dest.left + column.DestAt + column.DestLength,
                    dest.top + row.DestAt + row.DestLength};
      if (fill == TFill::Tile && !(row.Fixed && column.Fixed)) {
        // Tiles along each axis that is not fixed; a fixed axis keeps its size.
        TilePart(dc, image, from, to, transparent);
      } else {
        DrawPart(dc, image, from, to, transparent);
      }
    }
  }
}

void TSkinPainter::DrawFrame(HDC dc, const TSkinBitmap& image, int frame, int frames,
                             const RECT& dest, bool transparent) {
  const RECT source = FrameRect(image, frame, frames);
  DrawPart(dc, image, source, dest, transparent);
}

void TSkinPainter::DrawThreeHorizontal(HDC dc, const TSkinBitmap& image, int frame, int frames,
                                       const RECT& dest, int first, int last, TFill fill,
                                       bool transparent) {
  const RECT source = FrameRect(image, frame, frames);
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  const int dw = dest.right - dest.left;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dest.bottom <= dest.top) return;
  for (const TSpan& column : SplitAxis(sw, dw, first, last)) {
    const RECT from{source.left + column.SourceAt, source.top,
                    source.left + column.SourceAt + column.SourceLength, source.bottom};
    const RECT to{dest.left + column.DestAt, dest.top,
                  dest.left + column.DestAt + column.DestLength, dest.bottom};
    if (fill == TFill::Tile && !column.Fixed && to.bottom - to.top == sh) {
      TilePart(dc, image, from, to, transparent);
    } else if (fill == TFill::Tile && !column.Fixed) {
      // Tiled along the width, stretched along the height.
      for (int x = to.left; x < to.right; x += column.SourceLength) {
        const int w = std::min<int>(column.SourceLength, to.right - x);
        DrawPart(dc, image, RECT{from.left, from.top, from.left + w, from.bottom},
                 RECT{x, to.top, x + w, to.bottom}, transparent);
      }
    } else {
      DrawPart(dc, image, from, to, transparent);
    }
  }
}

void TSkinPainter::DrawThreeVertical(HDC dc, const TSkinBitmap& image, int frame, int frames,
                                     const RECT& dest, int first, int last, TFill fill,
                                     bool transparent) {
  const RECT source = FrameRect(image, frame, frames);
  const int sw = source.right - source.left, sh = source.bottom - source.top;
  const int dh = dest.bottom - dest.top;
  if (sw <= 0 || sh <= 0 || dh <= 0 || dest.right <= dest.left) return;
  for (const TSpan& row : SplitAxis(sh, dh, first, last)) {
    const RECT from{source.left, source.top + row.SourceAt, source.right,
                    source.top + row.SourceAt + row.SourceLength};
    const RECT to{dest.left, dest.top + row.DestAt, dest.right,
                  dest.top + row.DestAt + row.DestLength};
    if (fill == TFill::Tile && !row.Fixed && to.right - to.left == sw) {
      TilePart(dc, image, from, to, transparent);
    } else if (fill == TFill::Tile && !row.Fixed) {
      // Tiled along the height, stretched along the width.
      for (int y = to.top; y < to.bottom; y += row.SourceLength) {
        const int h = std::min<int>(row.SourceLength, to.bottom - y);
        DrawPart(dc, image, RECT{from.left, from.top, from.right, from.top + h},
                 RECT{to.left, y, to.right, y + h}, transparent);
      }
    } else {
      DrawPart(dc, image, from, to, transparent);
    }
  }
}

void TSkinPainter::DrawElement(HDC dc, const TSkinElement& element, int frame, const RECT& dest) {
  if (!element.Present) return;
  DrawNine(dc, element.Image, frame, element.Frames(), dest, element.LeftWidth, element.TopHeight,
           element.RightWidth, element.BottomHeight,
           element.Tile == 1 ? TFill::Tile : TFill::Stretch, element.Trans);
}

TGdiRegion RegionFromImage(const TSkinBitmap& image, int x, int y) {
  std::vector<RECT> rects;
  for (int row = 0; row < image.Height; ++row) {
    int column = 0;
    while (column < image.Width) {
      while (column < image.Width && image.Pixel(column, row) == kSkinMagenta) ++column;
      const int start = column;
      while (column < image.Width && image.Pixel(column, row) != kSkinMagenta) ++column;
      if (column > start) rects.push_back(RECT{x + start, y + row, x + column, y + row + 1});
    }
  }
  std::vector<uint8_t> buffer(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = static_cast<DWORD>(rects.size());
  data->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
  data->rdh.rcBound = RECT{x, y, x + image.Width, y + image.Height};
  if (!rects.empty()) std::memcpy(data->Buffer, rects.data(), rects.size() * sizeof(RECT));
  return TGdiRegion(ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data));
}

std::span<const uint8_t> StoredSkinStream() {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, L"SKINSTREAM", MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!resource) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const auto* bytes = static_cast<const uint8_t*>(loaded ? LockResource(loaded) : nullptr);
  if (!bytes || size < 4) return {};
  const int32_t length =
      static_cast<int32_t>(uint32_t(bytes[0]) | (uint32_t(bytes[1]) << 8) |
                           (uint32_t(bytes[2]) << 16) | (uint32_t(bytes[3]) << 24));
  if (length <= 0 || uint32_t(length) > size - 4) return {};
  return std::span<const uint8_t>(bytes + 4, static_cast<size_t>(length));
}

}  // namespace skin
