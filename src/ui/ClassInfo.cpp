// Class names and standard ancestry of the controls and forms, for the skin's class
// map. Each chain starts with the class's own name and ends with nullptr.
#include <cwctype>

#include "ui/Controls.h"
#include "ui/Form.h"
#include "ui/ListView.h"

namespace ui {

namespace {

bool SameName(std::wstring_view a, const wchar_t* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return i == a.size() && b[i] == L'\0';
}

#define VORNIS_WINCONTROL \
  L"TWinControl", L"TControl", L"TComponent", L"TPersistent", L"TObject", nullptr

constexpr const wchar_t* kWinControl[] = {VORNIS_WINCONTROL};
constexpr const wchar_t* kPanel[] = {L"TPanel", L"TCustomPanel", L"TCustomControl",
                                     VORNIS_WINCONTROL};
constexpr const wchar_t* kTabSheet[] = {L"TTabSheet", VORNIS_WINCONTROL};
constexpr const wchar_t* kGroupBox[] = {L"TGroupBox", L"TCustomGroupBox", L"TCustomControl",
                                        VORNIS_WINCONTROL};
// A label is a graphic control in the standard library: no window of its own there.
constexpr const wchar_t* kLabel[] = {L"TLabel",   L"TCustomLabel", L"TGraphicControl",
                                     L"TControl", L"TComponent",   L"TPersistent",
                                     L"TObject",  nullptr};
constexpr const wchar_t* kButton[] = {L"TButton", L"TButtonControl", VORNIS_WINCONTROL};
constexpr const wchar_t* kBitBtn[] = {L"TBitBtn", L"TButton", L"TButtonControl", VORNIS_WINCONTROL};
constexpr const wchar_t* kEdit[] = {L"TEdit", L"TCustomEdit", VORNIS_WINCONTROL};
constexpr const wchar_t* kCheckBox[] = {L"TCheckBox", L"TCustomCheckBox", L"TButtonControl",
                                        VORNIS_WINCONTROL};
constexpr const wchar_t* kRadioButton[] = {L"TRadioButton", L"TButtonControl", VORNIS_WINCONTROL};
constexpr const wchar_t* kProgressBar[] = {L"TProgressBar", VORNIS_WINCONTROL};
constexpr const wchar_t* kPageControl[] = {L"TPageControl", L"TCustomTabControl",
                                           VORNIS_WINCONTROL};
constexpr const wchar_t* kListView[] = {L"TListView", L"TCustomListView",
                                        L"TCustomMultiSelectListControl", L"TCustomListControl",
                                        VORNIS_WINCONTROL};
constexpr const wchar_t* kForm[] = {L"TForm", L"TCustomForm", L"TScrollingWinControl",
                                    VORNIS_WINCONTROL};

#undef VORNIS_WINCONTROL

}  // namespace

bool AncestryContains(const wchar_t* const* chain, std::wstring_view ancestor) {
  for (; *chain; ++chain)
    if (SameName(ancestor, *chain)) return true;
  return false;
}

bool TControl::InheritsFrom(std::wstring_view ancestor) const {
  return AncestryContains(Ancestry(), ancestor);
}

bool TForm::InheritsFrom(std::wstring_view ancestor) const {
  return AncestryContains(Ancestry(), ancestor);
}

const wchar_t* const* TControl::Ancestry() const {
  return kWinControl;
}
const wchar_t* const* TPanel::Ancestry() const {
  return kPanel;
}
const wchar_t* const* TTabSheet::Ancestry() const {
  return kTabSheet;
}
const wchar_t* const* TGroupBox::Ancestry() const {
  return kGroupBox;
}
const wchar_t* const* TLabel::Ancestry() const {
  return kLabel;
}
const wchar_t* const* TButton::Ancestry() const {
  return kButton;
}
const wchar_t* const* TBitBtn::Ancestry() const {
  return kBitBtn;
}
const wchar_t* const* TEdit::Ancestry() const {
  return kEdit;
}
const wchar_t* const* TCheckBox::Ancestry() const {
  return kCheckBox;
}
const wchar_t* const* TRadioButton::Ancestry() const {
  return kRadioButton;
}
const wchar_t* const* TProgressBar::Ancestry() const {
  return kProgressBar;
}
const wchar_t* const* TPageControl::Ancestry() const {
  return kPageControl;
}
const wchar_t* const* TListView::Ancestry() const {
  return kListView;
}
const wchar_t* const* TForm::Ancestry() const {
  return kForm;
}

}  // namespace ui
