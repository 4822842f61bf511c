// Painting the frame: borders cut in three, the caption bar composed off screen (top
// border, caption text, caption buttons) and the menu bar. A missing image draws
// nothing for its part; every GDI object is released before returning.
#include <algorithm>

#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "skin/SkinFormMenuBar.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"

namespace skin {

namespace {

TFill FillOf(const TSkinBorder& border) {
  return border.Stretch ? TFill::Stretch : TFill::Tile;
}

// Frame 0 while active (or when the image has one frame), frame 1 while inactive.
int FrameOf(const TSkinBorder& border, bool active) {
  return active || border.Frames() < 2 ? 0 : 1;
}

}  // namespace

COLORREF TSkinForm::CaptionTextColour() const {
  const TSkinColour& primary =
      FActive ? FSkin->Colours.TitleTextActive : FSkin->Colours.TitleTextNoActive;
  const TSkinColour& secondary = FActive ? FSkin->Title.ActiveText : FSkin->Title.InActiveText;
  if (primary.Set) return ToColorRef(primary.Rgb());
  if (secondary.Set) return ToColorRef(secondary.Rgb());
  return GetSysColor(FActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT);
}

void TSkinForm::PaintFrame(HDC dc) {
  if (!FSkin || !FDrawFrame || FBorderKind == TBorderKind::NoCaption) return;
  const TSkin& skin = *FSkin;
  RECT window{};
  GetWindowRect(FHandle, &window);
  int width = window.right - window.left;
  int height = window.bottom - window.top;
  if (width <= 0 || height <= 0) return;
  LayoutCaption(width);

  if (ShowState() == TShowState::Minimized) {
    // Only the caption bar, across the full width, on the face colour.
    uint32_t* bits = nullptr;
    TGdiBitmap bitmap = CreateDib(width, FMetrics.Caption, &bits);
    TMemoryDC memory(dc);
    if (!bitmap || !memory.Get()) return;
    TSelectObject select(memory.Get(), bitmap.Get());
    RECT all{0, 0, width, FMetrics.Caption};
    if (FData->FaceBrush()) FillRect(memory.Get(), &all, FData->FaceBrush());
    FPainter->DrawThreeHorizontal(memory.Get(), skin.Top.Image, FrameOf(skin.Top, FActive),
                                  skin.Top.Frames(), all, skin.Top.TopHeight, skin.Top.BotHeight,
                                  FillOf(skin.Top), false);
    PaintCaptionText(memory.Get());
    PaintButtons(memory.Get(), 0);
    BitBlt(dc, 0, 0, width, FMetrics.Caption, memory.Get(), 0, 0, SRCCOPY);
    return;
  }

  const int left = FMetrics.Left;
  const int right = FMetrics.Right;
  const int bottom = FMetrics.Bottom;
  const int caption = FMetrics.Caption;
  FPainter->DrawThreeVertical(dc, skin.Left.Image, FrameOf(skin.Left, FActive), skin.Left.Frames(),
                              RECT{0, 0, left, height}, skin.Left.TopHeight, skin.Left.BotHeight,
                              FillOf(skin.Left), false);
  FPainter->DrawThreeVertical(dc, skin.Right.Image, FrameOf(skin.Right, FActive),
                              skin.Right.Frames(), RECT{width - right, 0, width, height},
                              skin.Right.TopHeight, skin.Right.BotHeight, FillOf(skin.Right),
                              false);
  FPainter->DrawThreeHorizontal(
      dc, skin.Bottom.Image, FrameOf(skin.Bottom, FActive), skin.Bottom.Frames(),
      RECT{left, height - bottom, width - right, height}, skin.Bottom.TopHeight,
      skin.Bottom.BotHeight, FillOf(skin.Bottom), false);

  // The caption bar, composed off screen across the full width (the side borders'
  // top parts included, so buttons may overlap them), then copied at once.
  if (caption > 0) {
    TGdiBitmap bitmap = CreateDib(width, caption);
    TMemoryDC memory(dc);
    if (bitmap && memory.Get()) {
      TSelectObject select(memory.Get(), bitmap.Get());
      BitBlt(memory.Get(), 0, 0, width, caption, dc, 0, 0, SRCCOPY);
      FPainter->DrawThreeHorizontal(memory.Get(), skin.Top.Image, FrameOf(skin.Top, FActive),
                                    skin.Top.Frames(), RECT{left, 0, width - right, caption},
                                    skin.Top.TopHeight, skin.Top.BotHeight, FillOf(skin.Top),
                                    false);
      PaintCaptionText(memory.Get());
      PaintButtons(memory.Get(), 0);
      BitBlt(dc, 0, 0, width, caption, memory.Get(), 0, 0, SRCCOPY);
    }
  }

  if (FMetrics.MenuBar > 0) {
    if (FMenuBar) {
      FMenuBar->Paint(dc, FSkin.get(), *FPainter, CaptionTextFont(), FActive);
    } else {
      RECT bar{left, caption, width - right, caption + FMetrics.MenuBar};
      FillRect(dc, &bar, GetSysColorBrush(COLOR_MENU));
    }
  }
}

HFONT TSkinForm::CaptionTextFont() const {
  return FData->CaptionFont() ? FData->CaptionFont()
                              : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

TSkinForm::TCaptionText TSkinForm::PlaceCaptionText(HDC dc) const {
  const TSkinTitle& title = FSkin->Title;
  TCaptionText caption;
  int length = GetWindowTextLengthW(FHandle);
  caption.Text.assign(static_cast<size_t>(length) + 1, L'\0');
  caption.Text.resize(
      static_cast<size_t>(GetWindowTextW(FHandle, caption.Text.data(), length + 1)));

  RECT area = FCaptionTextRect;
  int shiftVert = title.TextShiftVert / 2;
  area.top += shiftVert;
  area.bottom += shiftVert;
  int alignment = title.TextAlignment;
  if (GetWindowLongW(FHandle, GWL_EXSTYLE) & (WS_EX_RTLREADING | WS_EX_LAYOUTRTL))
    alignment = alignment == 0 ? 2 : alignment == 2 ? 0 : alignment;

  RECT measure{0, 0, 0, 0};
  DrawTextW(dc, caption.Text.c_str(), -1, &measure, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
  caption.Width = measure.right - measure.left;

  RECT& textRect = caption.Rect;
  textRect = area;
  if (alignment == 1) {
    textRect.left =
        area.left + std::max(0, (static_cast<int>(area.right - area.left) - caption.Width) / 2);
  } else if (alignment == 2) {
    textRect.right = area.right - title.TextRightClip;
    textRect.left =
        std::max(static_cast<int>(area.left), static_cast<int>(textRect.right) - caption.Width);
  } else {
    // The shift leaves room for the icon button; a window that shows none (a dialog)
    // gives its text that room, from where the icon would start.
    int left = area.left + title.TextShift;
    for (const TCaptionButton& button : FButtons)
      if (IsSystemMenuAction(button.Action) && button.Align == 0 && !button.Visible)
        left = std::min(left, std::max(static_cast<int>(area.left), button.Xcoord));
    textRect.left = left;
  }
  textRect.right = std::min(textRect.right, std::min(area.right, textRect.left + caption.Width));
  return caption;
}

int TSkinForm::CaptionTextShortfall() {
  if (!FSkin || !FDrawFrame || FBorderKind == TBorderKind::NoCaption) return 0;
  LayoutButtons();
  TMemoryDC dc;
  TSelectObject font(dc.Get(), CaptionTextFont());
  TCaptionText caption = PlaceCaptionText(dc.Get());
  return std::max(0, caption.Width - static_cast<int>(caption.Rect.right - caption.Rect.left));
}

void TSkinForm::PaintCaptionText(HDC dc) {
  const TSkinTitle& title = FSkin->Title;
  TSelectObject selectFont(dc, CaptionTextFont());
  TCaptionText caption = PlaceCaptionText(dc);
  const RECT& textRect = caption.Rect;
  if (textRect.right <= textRect.left) return;

  if (!title.TextBack.Empty()) {
    RECT back{textRect.left - title.TXTBackleft, 0, textRect.right + title.TXTBackRight,
              FMetrics.Caption};
    int frames = title.Frame > 0 ? title.Frame : 1;
    FPainter->DrawThreeHorizontal(dc, title.TextBack, FActive || frames < 2 ? 0 : 1, frames, back,
                                  title.TXTBackleft, title.TXTBackRight, TFill::Stretch, true);
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, CaptionTextColour());
  RECT drawn = textRect;
  DrawTextW(dc, caption.Text.c_str(), -1, &drawn,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void TSkinForm::PaintButtons(HDC dc, int originX) {
  for (const TCaptionButton& button : FButtons) {
    if (!button.Visible || button.Definition >= FSkin->CaptionButtons.size()) continue;
    const TSkinBitmap& image = FSkin->CaptionButtons[button.Definition].Image;
    RECT rect = button.Rect;
    OffsetRect(&rect, -originX, 0);
    if (!image.Empty()) {
      int frame = button.State - 1;
      if (!button.Enabled) frame = button.Frames > 3 ? 3 : 0;
      FPainter->DrawFrame(dc, image, frame, button.Frames, rect, true);
    }
    if (IsSystemMenuAction(button.Action)) {
      HICON icon = reinterpret_cast<HICON>(SendMessageW(FHandle, WM_GETICON, ICON_SMALL2, 0));
      if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(FHandle, GCLP_HICONSM));
      if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(FHandle, GCLP_HICON));
      int size = std::min(button.Width, button.Height);
      if (icon && size > 0)
        DrawIconEx(dc, rect.left + (button.Width - size) / 2, rect.top + (button.Height - size) / 2,
                   icon, size, size, 0, nullptr, DI_NORMAL);
    }
  }
}

}  // namespace skin
