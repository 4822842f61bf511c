// The frame's window region: where a border image is magenta the window is cut away.
// Built from the composed border images (active frame), rebuilt only when the window
// size changes, removed at detach.
#include <cstring>
#include <vector>

#include "skin/SkinForm.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"

namespace skin {

namespace {

// Appends the runs of non-magenta pixels of a composed strip, offset by (x, y).
void AddOpaqueRuns(const uint32_t* bits, int width, int height, int x, int y,
                   std::vector<RECT>& rects) {
  for (int row = 0; row < height; ++row) {
    const uint32_t* line = bits + static_cast<size_t>(row) * static_cast<size_t>(width);
    int column = 0;
    while (column < width) {
      while (column < width && (line[column] & 0xFFFFFF) == kSkinMagenta) ++column;
      int start = column;
      while (column < width && (line[column] & 0xFFFFFF) != kSkinMagenta) ++column;
      if (column > start) rects.push_back(RECT{x + start, y + row, x + column, y + row + 1});
    }
  }
}

}  // namespace

void TSkinForm::UpdateRegion(bool force) {
  if (!FSkin || !FDrawFrame || FBorderKind == TBorderKind::NoCaption) return;
  if (ShowState() == TShowState::Minimized) return;
  const TSkin& skin = *FSkin;
  RECT window{};
  GetWindowRect(FHandle, &window);
  SIZE size{window.right - window.left, window.bottom - window.top};
  if (!force && size.cx == FRegionSize.cx && size.cy == FRegionSize.cy) return;
  FRegionSize = size;
  bool transparent = (skin.Left.Present() && skin.Left.Trans) ||
                     (skin.Right.Present() && skin.Right.Trans) ||
                     (skin.Top.Present() && skin.Top.Trans);
  if (!transparent) {
    RemoveRegion();
    return;
  }
  const int width = size.cx;
  const int height = size.cy;
  const TFrameMetrics& m = FMetrics;
  std::vector<RECT> rects;
  rects.push_back(RECT{m.Left, m.Caption, width - m.Right, height - m.Bottom});

  // Each border composed as it is painted, into its own strip.
  auto addStrip = [&](const TSkinBorder& border, RECT dest, bool vertical) {
    int stripWidth = dest.right - dest.left;
    int stripHeight = dest.bottom - dest.top;
    if (stripWidth <= 0 || stripHeight <= 0) return;
    bool thin = vertical ? stripWidth <= 1 : stripHeight < 2;
    if (!border.Present() || !border.Trans || thin) {
      rects.push_back(dest);
      return;
    }
    uint32_t* bits = nullptr;
    TGdiBitmap bitmap = CreateDib(stripWidth, stripHeight, &bits);
    TMemoryDC memory;
    if (!bitmap || !bits || !memory.Get()) {
      rects.push_back(dest);
      return;
    }
    {
      TSelectObject select(memory.Get(), bitmap.Get());
      RECT local{0, 0, stripWidth, stripHeight};
      TFill fill = border.Stretch ? TFill::Stretch : TFill::Tile;
      if (vertical)
        FPainter->DrawThreeVertical(memory.Get(), border.Image, 0, border.Frames(), local,
                                    border.TopHeight, border.BotHeight, fill, false);
      else
        FPainter->DrawThreeHorizontal(memory.Get(), border.Image, 0, border.Frames(), local,
                                      border.TopHeight, border.BotHeight, fill, false);
      GdiFlush();
    }
    AddOpaqueRuns(bits, stripWidth, stripHeight, dest.left, dest.top, rects);
  };
  addStrip(skin.Left, RECT{0, 0, m.Left, height}, true);
  addStrip(skin.Right, RECT{width - m.Right, 0, width, height}, true);
  addStrip(skin.Top, RECT{m.Left, 0, width - m.Right, m.Caption}, false);
  addStrip(skin.Bottom, RECT{m.Left, height - m.Bottom, width - m.Right, height}, false);
  if (m.MenuBar > 0)
    rects.push_back(RECT{m.Left, m.Caption, width - m.Right, m.Caption + m.MenuBar});

  std::vector<uint8_t> buffer(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
  auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = static_cast<DWORD>(rects.size());
  data->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
  data->rdh.rcBound = RECT{0, 0, width, height};
  std::memcpy(data->Buffer, rects.data(), rects.size() * sizeof(RECT));
  HRGN region = ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
  if (!region) return;
  // The window owns the region from here on.
  if (SetWindowRgn(FHandle, region, IsWindowVisible(FHandle))) {
    FHasRegion = true;
    ++FRegionBuilds;
  } else {
    DeleteObject(region);
  }
}

void TSkinForm::RemoveRegion() {
  if (!FHasRegion) return;
  FHasRegion = false;
  if (IsWindow(FHandle)) SetWindowRgn(FHandle, nullptr, IsWindowVisible(FHandle));
}

}  // namespace skin
