// Which skin a control of a framed window gets: the class map first, then the
// standard ancestry of our control classes, then (for windows that are not ours, such
// as the buttons of a message box) the kind of the system control class.
#include <cwctype>

#include "skin/SkinClassMap.h"
#include "skin/SkinControls.h"
#include "skin/SkinData.h"
#include "skin/SkinForm.h"
#include "skin/SkinManage.h"
#include "skin/SkinModel.h"
#include "ui/Controls.h"
#include "ui/Form.h"

namespace skin {

namespace {

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

std::wstring WindowClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

struct TKindRule {
  const wchar_t* Kind;
  TSkinControlType Element;
};

// Kinds of the class map and the element each needs.
const TKindRule kKinds[] = {
    {L"combobox", xcCombo},
    {L"comboboxex", xcCombo},
    {L"datetimepicker", xcCombo},
    {L"edit", xcEdit},
    {L"radiobutton", xcRadioButton},
    {L"checkbox", xcCheckBox},
    {L"panel", xcPanel},
    {L"button", xcButton},
    {L"bitbtn", xcButton},
    {L"menubtn", xcButton},
    {L"pngbitbtn", xcButton},
    {L"pngspeedbutton", xcButton},
    {L"mediaplayer", xcButton},
    {L"trackbar", xcButton},
    {L"speedbutton", xcSpeedButton},
    {L"tab", xcTab},
    {L"advpagecontrol", xcTab},
    {L"progress", xcProgress},
    {L"scrollbar", xcScrollbar},
    {L"singlescrollbar", xcScrollbar},
    {L"embedscrollbar", xcScrollbar},
    {L"groupbox", xcGroupBox},
    {L"radiogroup", xcGroupBox},
    {L"checkgroup", xcPanel},
};

// Ancestry rules for our own control classes, in the order they are tried.
struct TAncestryRule {
  const wchar_t* Ancestor;
  const wchar_t* Kind;
  TSkinControlType Element;
};
const TAncestryRule kAncestry[] = {
    {L"TCustomTabControl", L"tab", xcTab},
    {L"TPageControl", L"tab", xcTab},
    {L"TTabSheet", L"tab", xcTab},
    {L"TCustomCheckBox", L"checkbox", xcCheckBox},
    {L"TCustomGroupBox", L"groupbox", xcPanel},
    {L"TRadioButton", L"radiobutton", xcRadioButton},
    {L"TProgressBar", L"progress", xcProgress},
    {L"TCustomComboBox", L"combobox", xcCombo},
    {L"TBitBtn", L"bitbtn", xcBitBtn},
    {L"TCustomPanel", L"panel", xcPanel},
    {L"TCustomListView", L"scrollbar", xcScrollbar},
    {L"TButton", L"button", xcButton},
    {L"TCustomEdit", L"edit", xcEdit},
};

// The kind of a system control class (windows that are not ours: dialogs, message
// boxes), from its class and button style.
std::wstring SystemKind(HWND control, const std::wstring& className, TSkinControlType& element) {
  std::wstring name = Lower(className);
  LONG style = GetWindowLongW(control, GWL_STYLE);
  if (name == L"button") {
    switch (style & BS_TYPEMASK) {
      case BS_PUSHBUTTON:
      case BS_DEFPUSHBUTTON:
        element = xcButton;
        return L"button";
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case BS_3STATE:
      case BS_AUTO3STATE:
        element = xcCheckBox;
        return L"checkbox";
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        element = xcRadioButton;
        return L"radiobutton";
      case BS_GROUPBOX:
        element = xcGroupBox;
        return L"groupbox";
      default:
        return {};
    }
  }
  if (name == L"edit") {
    element = xcEdit;
    return L"edit";
  }
  if (name == L"msctls_progress32") {
    element = xcProgress;
    return L"progress";
  }
  return {};
}

bool HasTabImages(const TSkinData& data) {
  return data.Skin() && data.Skin()->Element("Tabs");
}

// Kinds whose window's children belong to the control itself (an edit inside a combo
// box, a list view's header): they are not examined on their own.
bool OwnsChildren(const std::wstring& kind) {
  return kind == L"combobox" || kind == L"comboboxex" || kind == L"datetimepicker" ||
         kind == L"scrollbar" || kind == L"edit";
}

}  // namespace

void TSkinManage::SkinControls(TSkinForm& frame, HWND parent) {
  TSkinData& data = frame.Data();
  for (HWND child = GetWindow(parent, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    ui::TControl* control = ui::TControl::FromHandle(child);
    if (control && control->Tag() == data.DisableTag) continue;
    if (frame.HasControl(child)) continue;
    if (SendMessageW(child, kMsgIsSkinned, 0, 0) == 1) continue;

    std::wstring className = control ? control->ClassName() : WindowClassName(child);
    std::wstring kind = MappedKind(data.Skin3rd(), className);
    TSkinControlType element = xcPanel;
    bool known = false;
    if (!kind.empty()) {
      for (const TKindRule& rule : kKinds)
        if (kind == rule.Kind) {
          element = rule.Element;
          known = true;
        }
      if (kind == L"tcxbutton") kind = L"bitbtn";
    } else if (control) {
      std::wstring upper = className;
      for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(c));
      bool excluded =
          upper == L"TDBCOMBOBOXEH" || upper == L"TFRDESIGNERPAGE" || upper == L"TFRPBOX";
      for (const TAncestryRule& rule : kAncestry) {
        if (excluded || !control->InheritsFrom(rule.Ancestor)) continue;
        kind = rule.Kind;
        element = rule.Element;
        known = true;
        break;
      }
    } else if (!ui::TForm::FromHandle(child)) {
      kind = SystemKind(child, className, element);
      known = !kind.empty();
    } else {
      kind = L"panel";  // a form embedded as a control
      known = true;
    }

    bool skinIt = known && data.SkinControls.Contains(element);
    if ((kind == L"tab" || kind == L"advpagecontrol") && !HasTabImages(data)) skinIt = false;
    if (skinIt) {
      std::unique_ptr<TSkinControl> skinned;
      if (data.OnSkinControl) data.OnSkinControl(data, frame.Handle(), child, className, skinned);
      if (!skinned) skinned = CreateSkinControl(kind, child, data.ControlContext());
      if (skinned) frame.AddControl(std::move(skinned));
    }
    if (kind != L"nil" && !OwnsChildren(kind)) SkinControls(frame, child);
  }
}

}  // namespace skin
