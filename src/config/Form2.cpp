#include "config/Form2.h"

#include <windows.h>

#include "base/Exception.h"
#include "ui/CodePage.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "ui/Application.h"

namespace config {

namespace {

using ui::TControlKind;

// True when the ANSI code page holds every character of `text`: no default character
// and no best-fit look-alike stands in for one.
bool FitsAnsiCodePage(const std::wstring& text) {
  return ui::ToCodePage(CP_ACP, text).has_value();
}

// The game path as Config.ini (an ANSI file) can keep it: the path itself, else its
// short 8.3 form, which names the same file. Throws the failed-write error when neither
// survives, rather than storing a path that names nothing.
std::wstring StorableGamePath(const std::wstring& path) {
  if (FitsAnsiCodePage(path)) return path;
  std::wstring shortPath(32768, L'\0');
  DWORD length =
      GetShortPathNameW(path.c_str(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (length > 0 && length < shortPath.size()) {
    shortPath.resize(length);
    if (FitsAnsiCodePage(shortPath)) return shortPath;
  }
  throw Exception("Unable to write to " + ui::Narrow(ConfigIniPath()));
}

}  // namespace

const std::vector<ui::TControlDesc>& TForm2::Layout() {
  static const std::vector<ui::TControlDesc> layout = {
      {TControlKind::PageControl, L"PageControl1", L"", L"", 8, 8, 513, 297},
      {TControlKind::TabSheet, L"TabSheet1", L"啟動方式", L"PageControl1", 0, 0, 0, 0},
      {TControlKind::Label, L"Label2", L"請選擇遊戲主程式存放位置", L"TabSheet1", 24, 8, 300, 18},
      {TControlKind::GroupBox, L"GroupBox1", L"選項", L"TabSheet1", 8, 32, 489, 169},
      {TControlKind::RadioButton, L"RadioButton1", L"手動指定所在位置", L"GroupBox1", 16, 32, 200,
       17},
      {TControlKind::Label, L"Label3", L"位置", L"GroupBox1", 16, 84, 36, 14},
      {TControlKind::Edit, L"Edit1", L"", L"GroupBox1", 56, 81, 337, 21},
      {TControlKind::Button, L"Button3", L"瀏覽", L"GroupBox1", 408, 79, 75, 25},
      {TControlKind::Label, L"Label4",
       L"設定遊戲安裝時存放的位置，找到啟動主程式,設定后，本次記定保存", L"GroupBox1", 28, 124, 450,
       14},
      {TControlKind::TabSheet, L"TabSheet2", L"更新設置", L"PageControl1", 0, 0, 0, 0},
      {TControlKind::GroupBox, L"GroupBox2", L"自動更新UI", L"TabSheet2", 8, 40, 489, 209},
      {TControlKind::CheckBox, L"CheckBox1", L"開啟時自動更新", L"GroupBox2", 32, 32, 200, 17},
      {TControlKind::Label, L"Label9",
       L"啟動維諾斯獵手時會自動到伺服器檢測更新狀態，如果發現有最新的UI，會自動為您更新。",
       L"GroupBox2", 49, 67, 384, 30},
      {TControlKind::Button, L"Button1", L"确定", L"", 288, 316, 75, 25},
      {TControlKind::Button, L"Button2", L"取消", L"", 416, 315, 75, 25},
  };
  return layout;
}

TForm2::TForm2() {
  ui::TFormDesc desc;
  desc.Caption = L"設置";
  desc.Left = 474;
  desc.Top = 237;
  desc.Width = 537;
  desc.Height = 380;
  desc.Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  desc.Font = ui::GetFont(L"Arial", 8);
  CreateForm(desc, Layout());

  PageControl1 = Find<ui::TPageControl>(L"PageControl1");
  Label2 = Find<ui::TLabel>(L"Label2");
  GroupBox1 = Find<ui::TGroupBox>(L"GroupBox1");
  RadioButton1 = Find<ui::TRadioButton>(L"RadioButton1");
  Label3 = Find<ui::TLabel>(L"Label3");
  Edit1 = Find<ui::TEdit>(L"Edit1");
  Button3 = Find<ui::TButton>(L"Button3");
  Label4 = Find<ui::TLabel>(L"Label4");
  GroupBox2 = Find<ui::TGroupBox>(L"GroupBox2");
  CheckBox1 = Find<ui::TCheckBox>(L"CheckBox1");
  Label9 = Find<ui::TLabel>(L"Label9");
  Button1 = Find<ui::TButton>(L"Button1");
  Button2 = Find<ui::TButton>(L"Button2");

  Label2->SetFont(ui::GetFontByPixels(L"Arial", 14));
  RadioButton1->SetChecked(true);
  CheckBox1->SetChecked(kAutoUpdateDefault);
  PageControl1->SetActivePageIndex(0);

  OpenDialog1.FileName = L"VNgame.exe";
  OpenDialog1.DefaultExt = L"VNgame.exe";
  OpenDialog1.Filter = L"exe文件(*.exe)|*.exe";

  Button3->OnClick = [this] { Button3Click(); };
  Button1->OnClick = [this] { Button1Click(); };
  Button2->OnClick = [this] { Button2Click(); };
  FormCreate();
}

void TForm2::FormCreate() {
  // Single border, not resizable: the window style above has no sizing frame.
}

void TForm2::Button3Click() {
  if (OpenDialog1.Execute(Handle())) Edit1->SetText(OpenDialog1.FileName);
}

void TForm2::Button1Click() {
  if (!IsGamePathSet(Edit1->Text())) {
    ui::Application().ShowNotice(L"不可以設為空");
    return;
  }
  try {
    TIniFile ini(ConfigIniPath());
    ini.WriteString(L"game", L"gamepath", StorableGamePath(Trim(Edit1->Text())));
    ini.WriteBool(L"updata", L"autoupdata", CheckBox1->Checked());
  } catch (const std::exception&) {
    throw Exception("contact Orin");
  }
  if (Modal()) {
    // The follow-up may load the catalogue and show boxes: it waits until the modal
    // loop has ended and the main window is enabled and active again.
    // The handler is copied: a show of the main window during it may replace this form.
    SetModalResult(ui::mrOk);
    AfterModal([handler = OnConfirmed] {
      if (handler) handler();
    });
    return;
  }
  Hide();
  if (OnConfirmed) OnConfirmed();
}

void TForm2::Button2Click() {
  if (Modal()) SetModalResult(ui::mrCancel);
  Hide();
}

}  // namespace config
