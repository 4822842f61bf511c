// One embedded web browser control (the platform's WebBrowser ActiveX control), in-place
// active inside a window of ours and filling its client area.
//
// We are the control's whole container: its client site, in-place site and frame, its
// document host (which keeps every page from opening its own context menu and draws it
// without borders or scroll bars, in the themed look), and the sink of its events, of
// which only document-complete is passed on. A page never opens a window of the
// control's own: a link with target _blank or window.open sends an http or https
// address to the user's default browser (the application's error box being the one
// message when none starts) and refuses any other address without a word. The first
// control of the process is made after the executable's document mode is set
// (SetBrowserEmulation). The container
// deliberately offers no menus, tool bars, border space, status text or accelerators,
// keeps no document of its own and never saves the control; the panel is a plain view
// of a page. A control that cannot be created or activated leaves the window empty:
// that is not an error, and every later call does nothing.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <ole2.h>
#include <ocidl.h>

#include <functional>
#include <string>

#include "ui/Com.h"

namespace web {

class TWebBrowser {
 public:
  // Creates the control in `parent` and in-place activates it with the parent's client
  // size; it follows the parent's later sizes. The control is closed and released when
  // `parent` is destroyed or this object goes, whichever comes first; afterwards the
  // object does nothing.
  explicit TWebBrowser(HWND parent);
  ~TWebBrowser();
  TWebBrowser(const TWebBrowser&) = delete;
  TWebBrowser& operator=(const TWebBrowser&) = delete;

  // The control exists and is in-place active.
  bool Active() const { return static_cast<bool>(FBrowser); }
  HWND Parent() const { return FParent; }

  // Navigates to `url` with flags, target frame, post data and headers left empty.
  // Throws EOleError when the control refuses; does nothing without a control. A control
  // that takes the keyboard focus while it loads the page gives it back to where it was
  // outside the page, until the user clicks into the page.
  void Navigate(const std::wstring& url);

  // The control's automation object (borrowed), or nullptr without a control.
  IDispatch* Automation() const { return FBrowser.Get(); }

  // Runs on every document-complete event of the control (the main document's and
  // each frame's), on the window thread, inside the application's error guard.
  std::function<void()> OnDocumentComplete;

 private:
  class TSite;
  bool Activate();
  void ConnectEvents(IUnknown* control);
  void Close();
  void FitToParent();
  void KeepFocusOutside();
  static LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     UINT_PTR id, DWORD_PTR data);

  HWND FParent;
  TSite* FSite = nullptr;  // our one reference; the control holds its own
  ui::TComPtr<IOleObject> FObject;
  ui::TComPtr<IOleInPlaceObject> FInPlace;
  ui::TComPtr<IDispatch> FBrowser;
  ui::TComPtr<IConnectionPoint> FEvents;
  DWORD FEventsCookie = 0;
  bool FSubclassed = false;
  HWND FFocusOutside = nullptr;  // where the focus goes back to; null once clicked into
};

// The steps of a document-complete event, acting on the control's current top
// document whatever the event was for: the body's border style becomes "none", then,
// late-bound from the control's automation object, the body's Scroll becomes "no".
// Without a document or a body nothing happens; a failing step throws EOleError.
void HideBorderAndScrollBars(IDispatch* browser);

}  // namespace web
