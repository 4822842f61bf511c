// The subclassing shared by every skinned control, and the factories that pick the
// skin object for a kind of control.
#include "skin/SkinControls.h"

#include <commctrl.h>

namespace skin {

TSkinControl::TSkinControl(HWND control, const TSkinControlContext& context)
    : FHandle(control), FContext(context) {}

TSkinControl::~TSkinControl() {
  Unskin();
}

void TSkinControl::Attach() {
  if (!FHandle || FAttached) return;
  FAttached = SetWindowSubclass(FHandle, SubclassProc, reinterpret_cast<UINT_PTR>(this),
                                reinterpret_cast<DWORD_PTR>(this)) != FALSE;
  RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TSkinControl::Unskin() {
  if (!FAttached) return;
  FAttached = false;
  if (!FHandle) return;
  RemoveWindowSubclass(FHandle, SubclassProc, reinterpret_cast<UINT_PTR>(this));
  Restore();
  RedrawWindow(FHandle, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

LRESULT TSkinControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  return Default(message, wParam, lParam);
}

LRESULT TSkinControl::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return DefSubclassProc(FHandle, message, wParam, lParam);
}

LRESULT CALLBACK TSkinControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data) {
  auto* self = reinterpret_cast<TSkinControl*>(data);
  if (message == WM_NCDESTROY) {
    // The window goes: detach once, and never touch the handle again.
    RemoveWindowSubclass(window, SubclassProc, id);
    self->FAttached = false;
    self->FHandle = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  return self->WindowProc(message, wParam, lParam);
}

std::unique_ptr<TSkinControl> CreateSkinControl(std::wstring_view /*kind*/, HWND /*control*/,
                                                const TSkinControlContext& /*context*/) {
  return nullptr;
}

TSkinPopMenu::~TSkinPopMenu() = default;

std::unique_ptr<TSkinPopMenu> CreateSkinPopMenu(HWND /*menuWindow*/,
                                                const TSkinControlContext& /*context*/) {
  return nullptr;
}

}  // namespace skin
