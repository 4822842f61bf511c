// The default class map of TSkinData: control classes of third-party libraries and the
// skin kind each one is drawn as. Lines read "ClassName=kind"; the manager matches the
// lower-cased class name followed by "=" at the start of a line.
#include "skin/SkinClassMap.h"

#include <cwctype>
#include <initializer_list>
#include <string_view>

namespace skin {

namespace {

struct TClassGroup {
  const wchar_t* Kind;
  std::initializer_list<const wchar_t*> Classes;
};

// Two classes are listed twice; the first line of a class is the one that matches.
const TClassGroup kGroups[] = {
    {L"scrollbar",
     {L"TCategoryButtons", L"TVirtualStringTree", L"TVirtualDrawTree", L"TAdvPanelGroup",
      L"THTMLViewer", L"TDBCtrlGrid", L"TImageEnMView", L"TImageEnView", L"TAdvMemo",
      L"TDBAdvMemo"}},
    {L"pngspeedbutton", {L"TPngSpeedbutton"}},
    {L"pngbitbtn", {L"TPngBitBtn"}},
    {L"Panel",
     {L"TTBXDockablePanel", L"TControlBar", L"TTBDock", L"TTBToolbar", L"TRzGroup", L"TLMDGROUPBOX",
      L"TLMDSIMPLEPANEL", L"TLMDDBCalendar", L"TLMDButtonPanel", L"TLMDLMDCalculator",
      L"TLMDHeaderPanel", L"TLMDTechnicalLine", L"TLMDLMDClock", L"TLMDTrackbar",
      L"TLMDCalculator"}},
    {L"combobox", {L"TComboboxex",          L"TcxDBLookupComboBox",    L"TcxDBComboBox",
                   L"TcxDBDateEdit",        L"TcxDBImageComboBox",     L"TcxDBCalcEdit",
                   L"TcxDBBlobEdit",        L"TcxDBPopupEdit",         L"TcxDBFontNameComboBox",
                   L"TcxDBShellComboBox",   L"TRxLookupEdit",          L"TRxDBLookupCombo",
                   L"TRzDateTimeEdit",      L"TRzColorEdit",           L"TRzDateTimePicker",
                   L"TRzDBDateTimeEdit",    L"TRzDbColorEdit",         L"TRzDBDateTimePicker",
                   L"TLMDListCombobox",     L"TLMDCheckListCombobox",  L"TLMDHeaderListCombobox",
                   L"TLMDImageCombobox",    L"TLMDColorCombobox",      L"TLMDFontCombobox",
                   L"TLMDFontSizeCombobox", L"TLMDFontSizeCombobox",   L"TLMDPrinterCombobox",
                   L"TLMDDriveCombobox",    L"TLMDCalculatorComboBox", L"TLMDTrackBarComboBox",
                   L"TLMDCalendarComboBox", L"TLMDTreeComboBox",       L"TDBLookupCombobox",
                   L"TWWDBCombobox",        L"TWWDBCombobox",          L"TWWDBLookupCombo",
                   L"TWWKeyCombo",          L"TWWTempKeyCombo",        L"TWWDBDateTimePicker"}},
    {L"speedbutton", {L"TRxSpeedButton", L"TfrSpeedButton", L"TfrTBButton"}},
    {L"button", {L"TRzButton"}},
    {L"bitbtn", {L"TRzBitbtn", L"TLMDButton", L"TcxButton"}},
    {L"menubtn", {L"TRzMenuButton"}},
    {L"CheckGroup", {L"TRzCheckGroup", L"TLMDCheckGroup", L"TLMDDBCheckGroup"}},
    {L"Radiogroup",
     {L"TRzRadioGroup", L"TRzDBRadioGroup", L"TLMDRADIOGROUP", L"TLMDDBRADIOGROUP",
      L"TWWRADIOGROUP", L"TcxDBRadioGroup", L"TcxRadioGroup"}},
    {L"Edit",
     {L"TRzButtonEdit",     L"TLMDCalculatorEdit", L"TLMDEDIT",           L"TLMDMASKEDIT",
      L"TLMDBROWSEEDIT",    L"TLMDEXTSPINEDIT",    L"TLMDCALENDAREDIT",   L"TLMDFILEOPENEDIT",
      L"TLMDFILESAVEEDIT",  L"TLMDCOLOREDIT",      L"TLMDDBEDIT",         L"TLMDDBMASKEDIT",
      L"TLMDDBEXTSPINEDIT", L"TLMDDBSPINEDIT",     L"TLMDDBEDITDBLookup", L"TLMDEDITDBLookup",
      L"TWWDBEDIT",         L"TOVCPICTUREFIELD",   L"TOVCDBPICTUREFIELD", L"TOVCSLIDEREDIT",
      L"TOVCDBSLIDEREDIT",  L"TOVCSIMPLEFIELD",    L"TOVCDBSIMPLEFIELD",  L"TO32DBFLEXEDIT",
      L"TOVCNUMERICFIELD",  L"TOVCDBNUMERICFIELD"}},
    {L"Radiobutton", {L"TRzDBRadioButton", L"TLMDRadiobutton"}},
    {L"Groupbox", {L"TLMDGroupBox", L"TcxGroupbox"}},
    {L"Checkbox", {L"TDBCheckboxEh", L"TDBCheckboxEh", L"TLMDCHECKBOX", L"TLMDDBCHECKBOX"}},
};

std::wstring Lower(std::wstring_view text) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(c));
  return out;
}

}  // namespace

const std::vector<std::wstring>& DefaultClassMap() {
  static const std::vector<std::wstring> lines = [] {
    std::vector<std::wstring> out;
    for (const TClassGroup& group : kGroups)
      for (const wchar_t* name : group.Classes)
        out.push_back(std::wstring(name) + L"=" + group.Kind);
    return out;
  }();
  return lines;
}

std::wstring MappedKind(const std::vector<std::wstring>& lines, const std::wstring& className) {
  const std::wstring prefix = Lower(className) + L"=";
  for (const std::wstring& line : lines) {
    if (line.size() < prefix.size()) continue;
    if (Lower(std::wstring_view(line).substr(0, prefix.size())) != prefix) continue;
    return Lower(std::wstring_view(line).substr(prefix.size(), 50));
  }
  return {};
}

}  // namespace skin
