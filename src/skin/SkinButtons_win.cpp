// Skinned push buttons, bitmap buttons, check boxes, radio buttons and group boxes,
// all drawn from the skin's "Buttons", "GroupBox" and "GroupBoxEdge" elements.
//
// Frames of "Buttons": 0 normal, 1 hot, 2 pressed, 3 disabled, 4 focused or default.
// The check and radio images hold an unchecked and a checked half, each normal, hot,
// pressed, disabled as far as the half has frames; an odd last frame is the
// indeterminate look.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>

#include "skin/SkinControlKinds.h"

namespace skin {

namespace {

std::wstring WindowText(HWND window) {
  int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), length + 1)));
  return text;
}

class TSkinButton : public TPaintedControl {
 public:
  TSkinButton(HWND control, const TSkinControlContext& context, const TSkinElement& element)
      : TPaintedControl(control, context), FElement(element) {}

 protected:
  bool RepaintsAfter(UINT message) const override {
    return message == BM_SETSTATE || message == BM_SETSTYLE || message == BM_SETIMAGE ||
           message == BM_CLICK || TPaintedControl::RepaintsAfter(message);
  }

  void Paint(HDC dc, const RECT& client) override {
    bool enabled = IsWindowEnabled(FHandle) != FALSE;
    bool pressed = (SendMessageW(FHandle, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    bool focused = GetFocus() == FHandle;
    bool isDefault = (GetWindowLongW(FHandle, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
    int frame = !enabled ? 3 : pressed ? 2 : FHot ? 1 : (focused || isDefault) ? 4 : 0;
    PaintParentBackground(dc, client);
    FPainter.DrawElement(dc, FElement, ClampFrame(frame, FElement.Frames()), client);

    RECT content = client;
    int shift = pressed ? 1 : 0;
    OffsetRect(&content, shift, shift);
    std::wstring text = WindowText(FHandle);
    TSelectObject font(dc, Font());
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure,
              DT_CALCRECT | DT_SINGLELINE);
    SIZE extent{measure.right, measure.bottom};
    auto glyph = reinterpret_cast<HBITMAP>(SendMessageW(FHandle, BM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info{};
    if (glyph && GetObjectW(glyph, sizeof(info), &info)) {
      // The glyph goes left of the caption, the pair centred; its corner pixel is its
      // background, left out.
      int gap = text.empty() ? 0 : 4;
      int left = content.left + (content.right - content.left - info.bmWidth - gap - extent.cx) / 2;
      int top = content.top + (content.bottom - content.top - info.bmHeight) / 2;
      TMemoryDC source(dc);
      TSelectObject select(source.Get(), glyph);
      COLORREF key = GetPixel(source.Get(), 0, 0);
      TransparentBlt(dc, left, top, info.bmWidth, info.bmHeight, source.Get(), 0, 0, info.bmWidth,
                     info.bmHeight, key);
      content.left = left + info.bmWidth + gap;
      content.right = content.left + extent.cx;
    }
    int state = pressed ? 2 : FHot ? 1 : 0;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled
                         ? ElementTextColour(FElement, state,
                                             TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT))
                         : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &content,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (focused && !FContext.NoFocusRect) {
      RECT focus = client;
      InflateRect(&focus, -4, -4);
      DrawFocusRect(dc, &focus);
    }
  }

 private:
  const TSkinElement& FElement;
};

class TSkinCheck : public TPaintedControl {
 public:
  TSkinCheck(HWND control, const TSkinControlContext& context, const TSkinBitmap& image, int frames)
      : TPaintedControl(control, context), FImage(image), FFrames(frames > 0 ? frames : 1) {}

 protected:
  bool RepaintsAfter(UINT message) const override {
    return message == BM_SETCHECK || message == BM_SETSTATE || message == BM_CLICK ||
           TPaintedControl::RepaintsAfter(message);
  }

  void Paint(HDC dc, const RECT& client) override {
    PaintParentBackground(dc, client);
    bool enabled = IsWindowEnabled(FHandle) != FALSE;
    bool pressed = (SendMessageW(FHandle, BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    LRESULT check = SendMessageW(FHandle, BM_GETCHECK, 0, 0);
    int half = std::max(1, FFrames / 2);
    int state = !enabled ? 3 : pressed ? 2 : FHot ? 1 : 0;
    int frame = std::min(state, half - 1);
    if (check == BST_CHECKED && FFrames >= 2) frame += half;
    if (check == BST_INDETERMINATE && FFrames % 2 == 1 && FFrames > 1) frame = FFrames - 1;

    int size = FImage.Width / FFrames;
    int top = (client.bottom - FImage.Height) / 2;
    RECT box{0, top, size, top + FImage.Height};
    FPainter.DrawFrame(dc, FImage, ClampFrame(frame, FFrames), FFrames, box, true);

    RECT text = client;
    text.left = size + 4;
    std::wstring caption = WindowText(FHandle);
    TSelectObject font(dc, Font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, enabled ? TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT)
                             : GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (GetFocus() == FHandle && !FContext.NoFocusRect) {
      RECT focus = text;
      DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &focus,
                DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_CALCRECT);
      focus.top = text.top + (text.bottom - text.top - (focus.bottom - focus.top)) / 2;
      focus.bottom = focus.top + (focus.bottom - focus.top);
      InflateRect(&focus, 1, 1);
      DrawFocusRect(dc, &focus);
    }
  }

 private:
  const TSkinBitmap& FImage;
  int FFrames;
};

// The group frame from "GroupBoxEdge" (its centre left to the parent's background),
// the caption on the "GroupBox" label image.
class TSkinGroupBox : public TPaintedControl {
 public:
  TSkinGroupBox(HWND control, const TSkinControlContext& context, const TSkinElement* edge,
                const TSkinElement* label)
      : TPaintedControl(control, context), FEdge(edge), FLabel(label) {}

 protected:
  bool HoldsControls() const override { return true; }

  void Paint(HDC dc, const RECT& client) override {
    PaintParentBackground(dc, client);
    std::wstring caption = WindowText(FHandle);
    TSelectObject font(dc, Font());
    // Measured the way it is drawn, so that substituted fonts (CJK) fit too.
    RECT measure{0, 0, 0, 0};
    DrawTextW(dc, caption.empty() ? L" " : caption.c_str(), -1, &measure,
              DT_CALCRECT | DT_SINGLELINE);
    SIZE extent{measure.right, measure.bottom};
    RECT frame = client;
    frame.top = extent.cy / 2;
    if (FEdge) {
      RECT inner{frame.left + FEdge->LeftWidth, frame.top + FEdge->TopHeight,
                 frame.right - FEdge->RightWidth, frame.bottom - FEdge->BottomHeight};
      int saved = SaveDC(dc);
      if (inner.right > inner.left && inner.bottom > inner.top)
        ExcludeClipRect(dc, inner.left, inner.top, inner.right, inner.bottom);
      FPainter.DrawElement(dc, *FEdge, 0, frame);
      RestoreDC(dc, saved);
    } else {
      DrawEdge(dc, &frame, EDGE_ETCHED, BF_RECT);
    }
    if (caption.empty()) return;
    int width = extent.cx + extent.cy;
    int left = 8;
    if (FLabel) {
      if (FLabel->BackgroundAlignment == 1) left = (client.right - width) / 2;
      if (FLabel->BackgroundAlignment == 2) left = client.right - width - 8;
      left += FLabel->BackgroundLeftShift - FLabel->BackgroundRightShift;
    }
    RECT label{left, 0, left + width, extent.cy};
    if (FLabel) {
      FPainter.DrawElement(dc, *FLabel, 0, label);
    } else {
      TGdiBrush face(CreateSolidBrush(FaceColour()));
      FillRect(dc, &label, face.Get());
    }
    SetBkMode(dc, TRANSPARENT);
    COLORREF text = TableColour(Skin().Colours.ButtonText, COLOR_BTNTEXT);
    SetTextColor(dc, FLabel ? ElementTextColour(*FLabel, 0, text) : text);
    label.left += extent.cy / 2;
    DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &label,
              DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
  }

 private:
  const TSkinElement* FEdge;
  const TSkinElement* FLabel;
};

}  // namespace

std::unique_ptr<TSkinControl> CreateButtonSkin(std::wstring_view kind, HWND control,
                                               const TSkinControlContext& context) {
  if (WindowClassOf(control) != L"button") return nullptr;
  const TSkin& skin = *context.Skin;
  LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
  const TSkinElement* buttons = skin.Element("Buttons");
  bool pushKind =
      kind == L"button" || kind == L"bitbtn" || kind == L"menubtn" || kind == L"pngbitbtn";
  if (pushKind && (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON)) {
    if (!buttons) return nullptr;
    return Attached<TSkinButton>(control, context, *buttons);
  }
  if (kind == L"checkbox" && (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE ||
                              type == BS_AUTO3STATE)) {
    if (!buttons || buttons->CheckButton.Empty()) return nullptr;
    return Attached<TSkinCheck>(control, context, buttons->CheckButton, buttons->CheckButtonFrame);
  }
  if (kind == L"radiobutton" && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON)) {
    if (!buttons || buttons->RadioButton.Empty()) return nullptr;
    return Attached<TSkinCheck>(control, context, buttons->RadioButton, buttons->RadioButtonFrame);
  }
  // A group box is skinned as a group box both by its own kind and as the panel the
  // ancestry rules make of it: either way its frame is the skin's.
  if ((kind == L"groupbox" || kind == L"radiogroup" || kind == L"panel") && type == BS_GROUPBOX) {
    const TSkinElement* edge = skin.Element("GroupBoxEdge");
    const TSkinElement* label = skin.Element("GroupBox");
    return Attached<TSkinGroupBox>(control, context, edge, label);
  }
  return nullptr;
}

}  // namespace skin
