// Child controls, each a small wrapper over one Win32 window, created from one
// description. A control's parent window reflects WM_COMMAND and WM_NOTIFY back to the
// control object (see TControl::Reflect), which runs its std::function events inside
// the application's guard.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

enum class TControlKind {
  Panel,
  GroupBox,
  Label,
  Button,
  BitBtn,
  Edit,
  CheckBox,
  RadioButton,
  ProgressBar,
  ListView,
  PageControl,
  TabSheet,
};

// One row of a form's layout table. Parent is the name of another row, or empty for
// the form itself. An Align of Top/Bottom/Client makes a panel follow its parent's size.
enum class TAlign { None, Top, Bottom, Client };

struct TControlDesc {
  TControlKind Kind = TControlKind::Label;
  const wchar_t* Name = L"";
  const wchar_t* Caption = L"";
  const wchar_t* Parent = L"";
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool Visible = true;
  TAlign Align = TAlign::None;
};

class TControl {
 public:
  virtual ~TControl();
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;

  HWND Handle() const { return FHandle; }
  const std::wstring& Name() const { return FName; }

  std::wstring Caption() const;
  void SetCaption(const std::wstring& caption);
  bool Visible() const;
  void SetVisible(bool visible);
  bool Enabled() const;
  void SetEnabled(bool enabled);
  void SetFont(HFONT font);
  void SetBounds(int left, int top, int width, int height);
  RECT BoundsRect() const;
  TAlign Align() const { return FAlign; }

  // Class identity as the skin's class map and ancestry rules see it: the class name
  // ("TBitBtn"), and whether the class is or descends from `ancestor` (compared without
  // regard to case, as class names are). The chain names the standard ancestors of each
  // class, which need not follow our C++ hierarchy (a radio button is no check box).
  const wchar_t* ClassName() const { return Ancestry()[0]; }
  bool InheritsFrom(std::wstring_view ancestor) const;
  // A free integer for the program's own use; 0 unless set.
  int Tag() const { return FTag; }
  void SetTag(int tag) { FTag = tag; }

  // The control object behind a window we created, or nullptr.
  static TControl* FromHandle(HWND window);
  // Called by every parent window for WM_COMMAND and WM_NOTIFY: hands the message to
  // the control that sent it. Returns true and sets `result` when a control took it.
  static bool Reflect(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  TControl() = default;
  // Creates the window; called by the factory once the object exists.
  void CreateHandle(const wchar_t* className, DWORD style, DWORD exStyle, const TControlDesc& desc,
                    HWND parent, int id);
  virtual bool OnCommand(WORD /*code*/) { return false; }
  virtual bool OnNotify(NMHDR* /*header*/, LRESULT& /*result*/) { return false; }
  // The class name followed by its ancestors' names, ending with nullptr.
  virtual const wchar_t* const* Ancestry() const;

  friend TControl* CreateControl(const TControlDesc& desc, HWND parent, int id);
  HWND FHandle = nullptr;
  std::wstring FName;
  TAlign FAlign = TAlign::None;
  int FTag = 0;
};

// True when `ancestor` is one of the names of a null-terminated ancestry chain.
bool AncestryContains(const wchar_t* const* chain, std::wstring_view ancestor);

// Creates the control a description asks for, as a child of `parent`, with control id
// `id`. Forms give row i of their layout table the id ControlId(i), so an outside
// driver that knows the table can find a control by name.
TControl* CreateControl(const TControlDesc& desc, HWND parent, int id);
constexpr int ControlId(size_t tableIndex) {
  return 1000 + static_cast<int>(tableIndex);
}

// A plain container window that reflects its children's notifications; also the
// pages of a page control.
class TPanel : public TControl {
 public:
  static void RegisterWindowClass();

 protected:
  const wchar_t* const* Ancestry() const override;
};

// A page of a page control: a panel by behaviour, a tab sheet by class.
class TTabSheet : public TPanel {
 protected:
  const wchar_t* const* Ancestry() const override;
};

class TGroupBox : public TControl {
 protected:
  const wchar_t* const* Ancestry() const override;
};

// A label's new text is its window's text at once and shows within a few hundredths of a
// second, painted once for all the changes in between: the system's static control draws
// every change at once, and a status line may change hundreds of times a second.
class TLabel : public TControl {
 protected:
  const wchar_t* const* Ancestry() const override;

 private:
  friend TControl* CreateControl(const TControlDesc& desc, HWND parent, int id);
  static LRESULT CALLBACK Subclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   UINT_PTR, DWORD_PTR data);
  bool FPaintPending = false;
};

class TButton : public TControl {
 public:
  std::function<void()> OnClick;
  // Runs the button's command as a user's click does, but what it throws reaches the
  // caller: code that runs another button's command must see it fail. Only the
  // platform's notification (OnCommand) is guarded.
  void Click();

 protected:
  bool OnCommand(WORD code) override;
  const wchar_t* const* Ancestry() const override;
};

// A push button with an image to the left of its caption.
class TBitBtn : public TButton {
 public:
  void SetGlyph(HBITMAP bitmap);  // the button takes ownership
  ~TBitBtn() override;

 protected:
  const wchar_t* const* Ancestry() const override;

 private:
  HBITMAP FGlyph = nullptr;
};

class TEdit : public TControl {
 public:
  std::wstring Text() const { return Caption(); }
  void SetText(const std::wstring& text) { SetCaption(text); }

 protected:
  const wchar_t* const* Ancestry() const override;
};

class TCheckBox : public TButton {
 public:
  bool Checked() const;
  void SetChecked(bool checked);

 protected:
  const wchar_t* const* Ancestry() const override;
};

class TRadioButton : public TCheckBox {
 protected:
  const wchar_t* const* Ancestry() const override;
};

// A bar from 0 to Max; positions outside the range are clamped, as the bar shows them.
class TProgressBar : public TControl {
 public:
  void SetMax(int max);
  int Max() const { return FMax; }
  void SetPosition(int position);
  // The position as the bar reports it, after clamping to its range.
  int Position() const { return FPosition; }

 protected:
  const wchar_t* const* Ancestry() const override;

 private:
  int FMax = 100;
  int FPosition = 0;
};

class TPageControl : public TControl {
 public:
  // Adds a page (a TPanel created by the factory) with a tab caption.
  void AddPage(TControl* page, const std::wstring& caption);
  int ActivePageIndex() const;
  void SetActivePageIndex(int index);

 protected:
  bool OnNotify(NMHDR* header, LRESULT& result) override;
  const wchar_t* const* Ancestry() const override;

 private:
  void LayoutPages();
  std::vector<TControl*> FPages;
};

// Default GUI fonts, created once: face name and point size.
HFONT GetFont(const wchar_t* face, int pointSize, bool bold = false);
HFONT GetFontByPixels(const wchar_t* face, int pixelHeight, bool bold = false);

}  // namespace ui
