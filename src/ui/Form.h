// A top-level window built from a layout table, with named controls, a menu bar, the
// show/close events of a form and a modal loop. One class per window derives from it
// and names its handlers after component and event.
#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/Controls.h"
#include "ui/Menus.h"

namespace ui {

enum TModalResult { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

// The window itself: outer bounds in pixels and the window styles.
struct TFormDesc {
  const wchar_t* Caption = L"";
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  DWORD ExStyle = 0;
  HFONT Font = nullptr;
};

class TForm {
 public:
  TForm() = default;
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return FHandle; }
  std::wstring Caption() const;
  void SetCaption(const std::wstring& caption);

  // Class identity and a free integer, as for controls (see TControl). A form class
  // that needs its own name overrides Ancestry().
  const wchar_t* ClassName() const { return Ancestry()[0]; }
  bool InheritsFrom(std::wstring_view ancestor) const;
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  // Control of the layout table by name; nullptr when absent or of another kind.
  template <typename T>
  T* Find(const std::wstring& name) const {
    auto it = FControls.find(name);
    return it == FControls.end() ? nullptr : dynamic_cast<T*>(it->second.get());
  }

  bool Visible() const { return FHandle && IsWindowVisible(FHandle); }
  void Show();
  void Hide();
  // Asks the form to close, as the caption's close box does: CloseQuery decides.
  void Close();
  // Shows the form modally and returns its modal result; with a modal responder
  // installed in the application, the responder runs instead of the modal loop. What
  // a handler left for AfterModal runs last, and its exceptions reach the caller.
  int ShowModal();
  bool Modal() const { return FModal; }
  int ModalResult() const { return FModalResult; }
  void SetModalResult(int result) { FModalResult = result; }

  // Lays out the aligned panels again (after one was shown or hidden).
  void Realign();
  void SetMenu(TMenu* menu);

  // The form object behind a window created by a form, or nullptr.
  static TForm* FromHandle(HWND window);

  // The window procedure of every form; binds the object at WM_NCCREATE.
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  // Creates the window and every control of the table, in table order.
  void CreateForm(const TFormDesc& desc, const std::vector<TControlDesc>& layout);

  // Form events: the window became visible; the user or code asks it to close.
  virtual void DoShow() {}
  virtual bool CloseQuery() { return true; }
  // Runs `action` once the current ShowModal has ended: the windows it disabled are
  // enabled again and this form is hidden.
  void AfterModal(std::function<void()> action);
  // Any message not handled here; return true and set `result` to take it.
  // The class name followed by its ancestors' names, ending with nullptr.
  virtual const wchar_t* const* Ancestry() const;
  virtual bool HandleMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/,
                             LRESULT& /*result*/) {
    return false;
  }

  std::map<std::wstring, std::unique_ptr<TControl>> FControls;
  std::vector<TControl*> FOrder;  // table order, parents before children
  HWND FHandle = nullptr;

 private:
  LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void AlignChildren(HWND parent);
  void RunAfterModal();

  TMenu* FMenu = nullptr;
  bool FModal = false;
  int FModalResult = mrNone;
  int FTag = 0;
  std::function<void()> FAfterModal;
};

}  // namespace ui
