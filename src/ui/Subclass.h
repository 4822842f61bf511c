// Window subclassing and window-to-object look-up kept in this process's own tables.
//
// The system's subclass helper keeps each window's chain in a window property, and so
// did our look-ups of a window's object. Under Wine a window property lives in the
// window server, so every message to such a window paid a round trip to it (about
// 50 µs each here, against well under one for a table look-up): a list of thousands
// of rows took seconds to fill. These functions keep everything in the process.
//
// SetSubclass, RemoveSubclass and DefSubclass behave as SetWindowSubclass,
// RemoveWindowSubclass and DefSubclassProc do: the procedure installed last is called
// first, one (procedure, id) pair is installed once (installing it again changes its
// data), and a procedure may remove itself while it runs. The chain of a window ends at
// WM_NCDESTROY, after every procedure has seen it.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <unordered_map>

namespace ui {

bool SetSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id, DWORD_PTR data);
bool RemoveSubclass(HWND window, SUBCLASSPROC proc, UINT_PTR id);
// Passes a message on to the next procedure of the chain now running on `window`, or
// to the window's own procedure.
LRESULT DefSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// A table from windows to objects of one kind. Entries are removed by their owners
// (at the latest when the window is destroyed).
class TWindowTable {
 public:
  void Set(HWND window, void* object);
  void Remove(HWND window);
  void* Get(HWND window) const;

 private:
  mutable SRWLOCK FLock = SRWLOCK_INIT;
  std::unordered_map<HWND, void*> FObjects;
};

}  // namespace ui
