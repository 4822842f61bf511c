// Skinned controls and popup menus: each object takes over the drawing of one existing
// window (a button, a progress bar, a menu window...) by subclassing it, and gives the
// window back exactly as it found it (window procedure, styles, fonts) when destroyed.
//
// These objects decide nothing about which windows to skin; the skin manager does,
// through CreateSkinControl's kinds. They never fail a window: an image the skin lacks
// draws nothing, and a control whose window is destroyed while skinned detaches itself
// once; destroying the object afterwards touches nothing.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <string_view>

namespace skin {

struct TSkin;

// What a skinned control needs to draw. The skin is shared: controls keep it alive
// while they exist, so reloading a skin never leaves a control drawing freed images.
struct TSkinControlContext {
  std::shared_ptr<const TSkin> Skin;
  bool NoFocusRect = false;           // no focus rectangle on focused controls
  COLORREF FaceColour = CLR_INVALID;  // the skin's face colour; CLR_INVALID: the system's
  HFONT Font = nullptr;               // the caption font; popup menus keep the menu font
  HIMAGELIST MenuImages = nullptr;    // menu check marks (16 x 16), may be null
};

class TSkinControl {
 public:
  // Gives the window back its own look and procedure (nothing when it is gone).
  virtual ~TSkinControl();
  TSkinControl(const TSkinControl&) = delete;
  TSkinControl& operator=(const TSkinControl&) = delete;

  // The skinned window; null once the window was destroyed.
  HWND Handle() const { return FHandle; }
  // Subclasses the window and repaints it; called once by the factory, when the object
  // is complete.
  void Attach();

 protected:
  TSkinControl(HWND control, const TSkinControlContext& context);
  // Removes the subclass, runs Restore() and repaints the window the system way; once
  // only. Every derived destructor calls it, so Restore() still reaches the derived
  // class.
  void Unskin();
  // The window's messages while skinned; Default() hands one to the previous procedure.
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);
  // Puts back what the skin changed on the window (styles, fonts...); the window exists.
  virtual void Restore() {}

  HWND FHandle;
  TSkinControlContext FContext;

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);
  bool FAttached = false;
};

// The skin of one control window. `kind` is a kind of the class map ("button",
// "bitbtn", "checkbox", "radiobutton", "groupbox", "panel", "progress", "edit", "tab",
// "scrollbar" (a list view's header and scroll bars), ...). Null when the kind is not
// supported, the skin lacks the element the kind needs, or `control` is no window.
std::unique_ptr<TSkinControl> CreateSkinControl(std::wstring_view kind, HWND control,
                                                const TSkinControlContext& context);

// The skin of one popup menu window (class "#32768") while it is open.
class TSkinPopMenu {
 public:
  virtual ~TSkinPopMenu();
  TSkinPopMenu(const TSkinPopMenu&) = delete;
  TSkinPopMenu& operator=(const TSkinPopMenu&) = delete;
  HWND Handle() const { return FHandle; }

 protected:
  explicit TSkinPopMenu(HWND menuWindow) : FHandle(menuWindow) {}
  HWND FHandle;
};

// Null when the skin has neither "MenuItem" nor "MenuBackground", or the window is no
// popup menu.
std::unique_ptr<TSkinPopMenu> CreateSkinPopMenu(HWND menuWindow,
                                                const TSkinControlContext& context);

}  // namespace skin
