#include "ui/Glyphs.h"

namespace ui {

namespace {

// Scoped GDI object selection.
class TSelect {
 public:
  TSelect(HDC dc, HGDIOBJ object) : FDc(dc), FOld(SelectObject(dc, object)) {}
  ~TSelect() { SelectObject(FDc, FOld); }

 private:
  HDC FDc;
  HGDIOBJ FOld;
};

void Shape(HDC dc, TGlyph glyph, int s) {
  int m = s / 8;
  switch (glyph) {
    case TGlyph::CheckAll:
    case TGlyph::Check: {
      POINT tick[] = {{m, s / 2}, {s / 2 - m / 2, s - 2 * m}, {s - m, 2 * m}};
      Polyline(dc, tick, 3);
      break;
    }
    case TGlyph::UncheckAll:
    case TGlyph::Remove:
      MoveToEx(dc, m * 2, m * 2, nullptr);
      LineTo(dc, s - m * 2, s - m * 2);
      MoveToEx(dc, s - m * 2, m * 2, nullptr);
      LineTo(dc, m * 2, s - m * 2);
      break;
    case TGlyph::Refresh:
      Arc(dc, m, m, s - m, s - m, s - m, s / 2, s / 2, m);
      MoveToEx(dc, s / 2, m, nullptr);
      LineTo(dc, s / 2 + 2 * m, 0);
      break;
    case TGlyph::Settings:
      Ellipse(dc, 2 * m, 2 * m, s - 2 * m, s - 2 * m);
      Ellipse(dc, s / 2 - m, s / 2 - m, s / 2 + m, s / 2 + m);
      break;
    case TGlyph::Install: {
      POINT arrow[] = {{s / 2, m}, {s / 2, s - 2 * m}};
      Polyline(dc, arrow, 2);
      POINT head[] = {{2 * m, s / 2}, {s / 2, s - 2 * m}, {s - 2 * m, s / 2}};
      Polyline(dc, head, 3);
      break;
    }
    case TGlyph::Game: {
      POINT play[] = {{s / 3, m * 2}, {s - m * 2, s / 2}, {s / 3, s - m * 2}};
      Polygon(dc, play, 3);
      break;
    }
  }
}

COLORREF Ink(TGlyph glyph) {
  switch (glyph) {
    case TGlyph::CheckAll:
    case TGlyph::Check:
    case TGlyph::Install:
      return RGB(0, 128, 0);
    case TGlyph::UncheckAll:
    case TGlyph::Remove:
      return RGB(192, 0, 0);
    case TGlyph::Game:
      return RGB(230, 120, 0);
    default:
      return RGB(0, 70, 160);
  }
}

}  // namespace

HBITMAP DrawGlyph(TGlyph glyph, int size) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
  ReleaseDC(nullptr, screen);
  {
    TSelect selectBitmap(dc, bitmap);
    RECT all{0, 0, size, size};
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    HPEN pen = CreatePen(PS_SOLID, size >= 28 ? 3 : 2, Ink(glyph));
    HBRUSH brush = CreateSolidBrush(Ink(glyph));
    {
      TSelect selectPen(dc, pen);
      TSelect selectBrush(
          dc, glyph == TGlyph::Game ? static_cast<HGDIOBJ>(brush) : GetStockObject(NULL_BRUSH));
      Shape(dc, glyph, size);
    }
    DeleteObject(pen);
    DeleteObject(brush);
  }
  DeleteDC(dc);
  return bitmap;
}

}  // namespace ui
