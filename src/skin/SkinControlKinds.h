// Internals of the skinned controls: the painted-control base every kind builds on,
// the colour rules, and one factory per family of kinds.
#pragma once

#include <windows.h>

#include <memory>
#include <utility>

#include "skin/SkinControls.h"
#include "skin/SkinModel.h"
#include "skin/SkinPaint.h"

namespace skin {

// A control whose client area we paint entirely: WM_PAINT, WM_PRINTCLIENT (so that
// PrintWindow and transparent children see the skin) and a double buffer. Messages
// after which the control would draw itself the system way are repainted once the
// previous procedure has run. Tracks the mouse for the hot state.
class TPaintedControl : public TSkinControl {
 public:
  TPaintedControl(HWND control, const TSkinControlContext& context);
  ~TPaintedControl() override;

 protected:
  // Draws the whole client area into `dc` (a memory DC of the client's size).
  virtual void Paint(HDC dc, const RECT& client) = 0;
  // True for messages after which the window must be painted again, at once.
  virtual bool RepaintsAfter(UINT message) const;
  // True for messages the program may send in bursts: the window is painted again once,
  // at the next paint, also when the system's control would paint at once.
  virtual bool InvalidatesAfter(UINT) const { return false; }
  // True for windows holding other controls: their static texts and buttons then draw
  // on the skin's face colour, in its button text colour.
  virtual bool HoldsControls() const { return false; }
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  // Paints now, the way WM_PAINT does.
  void Repaint();
  // Whether the object still exists after a call that may have run the program's
  // handlers (which may free it); take the token before the call.
  std::shared_ptr<bool> AliveToken() const { return FAlive; }

  const TSkin& Skin() const { return *FContext.Skin; }
  COLORREF FaceColour() const;
  // A colour of the skin's "Colours" table, or the system colour `sysIndex`.
  COLORREF TableColour(const TSkinColour& colour, int sysIndex) const;
  // The text colour of an element in a state (0 normal, 1 hot, 2 pressed), or `other`.
  static COLORREF ElementTextColour(const TSkinElement& element, int state, COLORREF other);
  // Fills `rect` with what the parent shows behind this window.
  void PaintParentBackground(HDC dc, const RECT& rect) const;
  void PaintTo(HDC dc);
  HFONT Font() const;

  TSkinPainter FPainter;
  bool FHot = false;

 private:
  // The backgrounds of the children: our own look as a pattern brush (made on first
  // need after each paint), and the face colour for edits.
  LRESULT ChildBackground(HDC dc, HWND child);
  TGdiBitmap FChildLook;
  TGdiBrush FChildBrush;
  TGdiBrush FFaceBrush;
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  bool FDeferPaint = false;
};

// Frame index for a state, clamped to the element's frames (0 when it has fewer).
inline int ClampFrame(int frame, int frames) {
  return frame >= 0 && frame < frames ? frame : 0;
}

// One factory per source file; each returns null when it does not serve the kind.
std::unique_ptr<TSkinControl> CreateButtonSkin(std::wstring_view kind, HWND control,
                                               const TSkinControlContext& context);
std::unique_ptr<TSkinControl> CreateContainerSkin(std::wstring_view kind, HWND control,
                                                  const TSkinControlContext& context);
std::unique_ptr<TSkinControl> CreateListSkin(std::wstring_view kind, HWND control,
                                             const TSkinControlContext& context);

// The window class of a window, lower-cased.
std::wstring WindowClassOf(HWND window);

// Creates a skin of type T and attaches it to its window.
template <typename T, typename... Args>
std::unique_ptr<TSkinControl> Attached(Args&&... args) {
  auto control = std::make_unique<T>(std::forward<Args>(args)...);
  control->Attach();
  return control;
}

}  // namespace skin
