#include "app/Form1.h"

#include "app/Shortcut.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "download/Transfers.h"
#include "skin/SkinPaint.h"
#include "ui/Application.h"
#include "tray/TrayIcon.h"
#include "ui/Glyphs.h"
#include "web/Pages.h"
#include "web/WebBrowser.h"

namespace app {

namespace {

using ui::TAlign;
using ui::TControlKind;

// The main window's form definition: kind, name, caption, parent, left, top, width,
// height, visible, alignment. Parents come before their children.
}  // namespace

const std::vector<ui::TControlDesc>& TForm1::Layout() {
  static const std::vector<ui::TControlDesc> layout = {
      {TControlKind::Panel, L"Panel1", L"", L"", 0, 0, 578, 209, true, TAlign::Top},
      {TControlKind::Panel, L"Panel2", L"", L"", 0, 0, 578, 183, true, TAlign::Bottom},
      {TControlKind::Panel, L"Panel5", L"", L"", 0, 0, 578, 200, true, TAlign::Client},
      {TControlKind::Panel, L"Panel6", L"", L"Panel5", 0, 0, 578, 17, true, TAlign::Top},
      {TControlKind::Label, L"Label8", L"UI 列錶", L"Panel6", 6, 2, 60, 14},
      {TControlKind::Label, L"Label9", L"噹前UI 個數:", L"Panel6", 80, 2, 80, 14},
      {TControlKind::Label, L"Label10", L"0", L"Panel6", 162, 2, 36, 14},
      {TControlKind::Label, L"Label11", L"安裝個數", L"Panel6", 204, 2, 52, 14},
      {TControlKind::Label, L"Label12", L"0", L"Panel6", 258, 2, 36, 14},
      {TControlKind::Label, L"Label13", L"未安裝", L"Panel6", 300, 2, 40, 14},
      {TControlKind::Label, L"Label14", L"0", L"Panel6", 342, 2, 36, 14},
      {TControlKind::Label, L"Label15", L"0", L"Panel6", 390, 2, 180, 14},
      {TControlKind::ListView, L"ListView1", L"", L"Panel5", 0, 17, 578, 183, true, TAlign::Client},
      {TControlKind::BitBtn, L"BitBtn1", L"全部選擇", L"Panel2", 12, 4, 62, 25},
      {TControlKind::BitBtn, L"BitBtn2", L"全部取消", L"Panel2", 76, 4, 65, 25},
      {TControlKind::Button, L"Button2", L"放大列錶", L"Panel2", 142, 4, 62, 25},
      {TControlKind::Panel, L"Panel4", L"", L"Panel2", 208, 5, 81, 24},
      {TControlKind::BitBtn, L"Button3", L"更新 UI", L"Panel2", 17, 39, 122, 30},
      {TControlKind::BitBtn, L"Button7", L" 操作設置", L"Panel2", 167, 39, 112, 30},
      {TControlKind::BitBtn, L"Button1", L"  安裝選中 UI", L"Panel2", 304, 8, 121, 41},
      {TControlKind::BitBtn, L"Button8", L"  移除選中 UI", L"Panel2", 436, 8, 121, 41},
      {TControlKind::BitBtn, L"BitBtn3", L"開啟遊戲", L"Panel2", 304, 64, 255, 104},
      {TControlKind::BitBtn, L"BitBtn4", L"check", L"Panel2", 192, 115, 73, 30, false},
      {TControlKind::Button, L"Button10", L"INI", L"Panel2", 88, 84, 65, 25, false},
      {TControlKind::GroupBox, L"GroupBox1", L"更新列錶內UI", L"Panel2", 8, 74, 288, 104},
      {TControlKind::Label, L"Label6", L"正常", L"GroupBox1", 10, 18, 268, 16},
      {TControlKind::ProgressBar, L"ProgressBar1", L"", L"GroupBox1", 10, 36, 268, 14},
      {TControlKind::Label, L"Label7", L"安裝到遊戲目錄", L"GroupBox1", 10, 60, 268, 16},
      {TControlKind::ProgressBar, L"ProgressBar2", L"", L"GroupBox1", 10, 78, 268, 14},
      {TControlKind::Button, L"Button4", L"", L"GroupBox1", 160, 11, 89, 28, false},
      {TControlKind::Panel, L"Panel3", L"", L"Panel1", 0, 0, 578, 209, true, TAlign::Client},
  };
  return layout;
}

TForm1::TForm1() {
  ui::TFormDesc desc;
  desc.Caption = L"維諾斯獵手TW Ver1.36";
  desc.Left = 480;
  desc.Top = 153;
  desc.Width = 584;
  desc.Height = 677;
  desc.Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  desc.ExStyle = WS_EX_TOPMOST;
  CreateForm(desc, Layout());

  Panel1 = Find<ui::TPanel>(L"Panel1");
  Panel3 = Find<ui::TPanel>(L"Panel3");
  Panel5 = Find<ui::TPanel>(L"Panel5");
  Panel6 = Find<ui::TPanel>(L"Panel6");
  Panel2 = Find<ui::TPanel>(L"Panel2");
  Panel4 = Find<ui::TPanel>(L"Panel4");
  Label8 = Find<ui::TLabel>(L"Label8");
  Label9 = Find<ui::TLabel>(L"Label9");
  Label10 = Find<ui::TLabel>(L"Label10");
  Label11 = Find<ui::TLabel>(L"Label11");
  Label12 = Find<ui::TLabel>(L"Label12");
  Label13 = Find<ui::TLabel>(L"Label13");
  Label14 = Find<ui::TLabel>(L"Label14");
  Label15 = Find<ui::TLabel>(L"Label15");
  ListView1 = Find<ui::TListView>(L"ListView1");
  BitBtn1 = Find<ui::TBitBtn>(L"BitBtn1");
  BitBtn2 = Find<ui::TBitBtn>(L"BitBtn2");
  Button2 = Find<ui::TButton>(L"Button2");
  Button3 = Find<ui::TBitBtn>(L"Button3");
  Button7 = Find<ui::TBitBtn>(L"Button7");
  Button1 = Find<ui::TBitBtn>(L"Button1");
  Button8 = Find<ui::TBitBtn>(L"Button8");
  BitBtn3 = Find<ui::TBitBtn>(L"BitBtn3");
  BitBtn4 = Find<ui::TBitBtn>(L"BitBtn4");
  Button10 = Find<ui::TButton>(L"Button10");
  GroupBox1 = Find<ui::TGroupBox>(L"GroupBox1");
  Label6 = Find<ui::TLabel>(L"Label6");
  ProgressBar1 = Find<ui::TProgressBar>(L"ProgressBar1");
  Label7 = Find<ui::TLabel>(L"Label7");
  ProgressBar2 = Find<ui::TProgressBar>(L"ProgressBar2");
  Button4 = Find<ui::TButton>(L"Button4");

  BitBtn1->SetGlyph(ui::DrawGlyph(ui::TGlyph::CheckAll, 16));
  BitBtn2->SetGlyph(ui::DrawGlyph(ui::TGlyph::UncheckAll, 16));
  Button3->SetGlyph(ui::DrawGlyph(ui::TGlyph::Refresh, 16));
  Button7->SetGlyph(ui::DrawGlyph(ui::TGlyph::Settings, 16));
  Button1->SetGlyph(ui::DrawGlyph(ui::TGlyph::Install, 28));
  Button8->SetGlyph(ui::DrawGlyph(ui::TGlyph::Remove, 28));
  BitBtn3->SetGlyph(ui::DrawGlyph(ui::TGlyph::Game, 90));
  BitBtn4->SetGlyph(ui::DrawGlyph(ui::TGlyph::Check, 16));
  BitBtn3->SetFont(ui::GetFont(L"Tahoma", 24, true));
  SetWindowLongW(BitBtn3->Handle(), GWL_STYLE,
                 GetWindowLongW(BitBtn3->Handle(), GWL_STYLE) | BS_MULTILINE);

  Timer1.SetInterval(3000);
  Timer4.SetInterval(200);
  BuildMenus();
  WireEvents();
  CreateTrayIcon();
  CreateSkinData();
  // An error of a creation step is shown, and the window is created all the same.
  ui::Application().Guard([this] { FormCreate(); });
}

TForm1::~TForm1() {
  ui::Application().OnMessage = nullptr;
  // Transfers still running must not outlive the window's handlers nor write on into
  // the process's end; whatever does not stop in time leaves files removed at a later show.
  FAlive.reset();
  download::StopAllTransfers(std::chrono::seconds(2));
  if (FGameProcess) CloseHandle(FGameProcess);
}

void TForm1::BuildMenus() {
  MainMenu1.Build({
      {0, L"N1", L"檔案", nullptr},
      {1, L"UI1", L"更新 UI", [this] { UI1Click(); }},
      {1, L"CheckUpdatesM", L"勾選有更新的 UI", [this] { CheckUpdatesMClick(); }, false,
       kCheckUpdatesCommand},
      {1, L"RollBackM", L"還原勾選 UI 的上一版", [this] { RollBackMClick(); }, false,
       kRollBackCommand},
      {1, L"N17", L"啟動遊戲", [this] { N17Click(); }},
      {1, L"N14", L"退出", [this] { N14Click(); }},
      {0, L"N9", L"青橙遊戲網", [this] { N9Click(); }, true},
      {0, L"N5", L"維諾斯專區", [this] { N5Click(); }},
      {0, L"N2", L"選項(&C)", nullptr},
      {1, L"StopTaskM", L"設置", [this] { StopTaskMClick(); }},
      {1, L"N4", L"恢復視窗", [this] { N4Click(); }},
      {1, L"ApplyFaceM", L"啟動程式(&I)", nullptr},
      {1, L"N13", L"更新", [this] { N13Click(); }},
      {1, L"AutoInstallM", L"自動更新已安裝的 UI", [this] { AutoInstallMClick(); }, false,
       kAutoInstallCommand},
      {1, L"N8", L"-", nullptr},
      {0, L"N10", L"幫助(&H)", nullptr},
      {1, L"N6", L"幫助(&H)", [this] { N6Click(); }},
      {1, L"N7", L"關于(&A)", [this] { N7Click(); }},
  });
  SetMenu(&MainMenu1);
  EnableMenuItem(MainMenu1.Handle(), kRollBackCommand, MF_BYCOMMAND | MF_GRAYED);
  // No row shows "有更新" before the first status check.
  MainMenu1.Find(L"CheckUpdatesM")->SetEnabled(false);

  PopupMenu1.Build({
      {0, L"RestoreM", L"恢復視窗(&R)", [this] { RestoreMClick(); }},
      {0, L"N11", L"設置", [this] { N11Click(); }},
      {0, L"N12", L"檢查更新", [this] { N12Click(); }},
      {0, L"N3", L"退出程式", [this] { N3Click(); }},
  });
}

void TForm1::WireEvents() {
  BitBtn1->OnClick = [this] { BitBtn1Click(); };
  BitBtn2->OnClick = [this] { BitBtn2Click(); };
  Button2->OnClick = [this] { Button2Click(); };
  Button3->OnClick = [this] { Button3Click(); };
  Button7->OnClick = [this] { Button7Click(); };
  Button1->OnClick = [this] { Button1Click(); };
  Button8->OnClick = [this] { Button8Click(); };
  BitBtn3->OnClick = [this] { BitBtn3Click(); };
  BitBtn4->OnClick = [this] { BitBtn4Click(); };
  Button10->OnClick = [this] { Button10Click(); };
  Button4->OnClick = [this] { Button4Click(); };
  ListView1->OnColumnClick = [this](int column) { ListView1ColumnClick(column); };
  ListView1->OnInfoTip = [this](int row, std::wstring& tip) { ListView1InfoTip(row, tip); };
  ListView1->OnSelectItem = [this](int row) { ListView1SelectItem(row); };
  Timer1.OnTimer = [this] { Timer1Timer(); };
  Timer3.OnTimer = [this] { Timer3Timer(); };
  Timer4.OnTimer = [this] { Timer4Timer(); };
  GameWatch.OnTimer = [this] { GameWatchTimer(); };
}

void TForm1::CreateSkinData() {
  // As stored with the form: inactive, the application's elements and options, the
  // package of the executable; FormCreate switches it on.
  using namespace skin;
  SkinData1 = std::make_unique<TSkinData>(this);
  SkinData1->SkinControls = {
      xcMainMenu,    xcPopupMenu, xcMenuItem,  xcToolbar,   xcControlbar, xcCombo,    xcCheckBox,
      xcRadioButton, xcProgress,  xcScrollbar, xcEdit,      xcButton,     xcBitBtn,   xcSpeedButton,
      xcSpin,        xcPanel,     xcGroupBox,  xcStatusBar, xcTab,        xcTrackBar, xcSystemMenu};
  SkinData1->Options = {xoPreview, xoNoFocusRect, xoToolbarBK, xoCaptionButtonHint};
  std::span<const uint8_t> package = StoredSkinStream();
  if (!package.empty()) SkinData1->LoadPackage(package);
  SkinData1->Loaded();
}

config::TForm2& TForm1::Form2() {
  if (FPendingForm2 || !FForm2) MakeFreshForm2();
  return *FForm2;
}

void TForm1::MakeFreshForm2() {
  std::optional<TStoredSettings> stored = std::move(FPendingForm2);
  FPendingForm2.reset();
  SetForm2(std::make_unique<config::TForm2>());
  if (!stored) return;
  if (stored->GamePath) FForm2->Edit1->SetText(*stored->GamePath);
  if (stored->AutoUpdate) FForm2->CheckBox1->SetChecked(*stored->AutoUpdate);
}

void TForm1::SetForm2(std::unique_ptr<config::TForm2> form) {
  FPendingForm2.reset();
  // A dialog still on screen (shown modally) is released only once it has closed.
  std::erase_if(FRetiredForms, [](const auto& retired) { return !retired->Modal(); });
  if (FForm2 && FForm2->Modal()) FRetiredForms.push_back(std::move(FForm2));
  FForm2 = std::move(form);
  FForm2->OnConfirmed = [this] { BitBtn4->Click(); };
}

void TForm1::FormCreate() {
  // The skin takes over the frames once the window is first activated.
  SkinData1->SetActive(true);
  ListView1->AddColumn(L"UI名稱", 110);
  ListView1->AddColumn(L"UI_ID", 70);
  ListView1->AddColumn(L"文件夾", 1);
  ListView1->AddColumn(L"描述", 280);
  ListView1->AddColumn(L"作者", 100);
  // The shortcut and the web panels wait until the window has been shown and painted:
  // none of them is needed to draw it, and the browser control alone costs as much as
  // the rest of the start.
  ui::Application().Post([this, alive = std::weak_ptr<bool>(FAlive)] {
    if (!alive.expired()) FormCreateLate();
  });
}

void TForm1::FormCreateLate() {
  if (FCreatedLate) return;
  FCreatedLate = true;
  StartPendingVersionCheck();
  CreateDesktopShortcut(config::ExePath(), L"維諾斯獵手", L"維諾斯獵手");
  CreateWebPanels();
  WebBrowser2->Navigate(web::AdvertisementPageAddress());
}

void TForm1::FormShow() {
  // The fresh settings dialog is made once the window has been painted, unless
  // something asks for it sooner; until then it is what this show reads. A dialog on
  // screen (shown modally) is replaced at once.
  FPendingForm2 = TStoredSettings{};
  if (FForm2 && FForm2->Modal()) MakeFreshForm2();
  ui::Application().Post([this, alive = std::weak_ptr<bool>(FAlive)] {
    if (!alive.expired()) Form2();
  });

  std::wstring configPath = config::ConfigIniPath();
  std::wstring updatePath = config::UpdateIniPath();
  DeleteFileW(updatePath.c_str());
  download::RemoveStalePartFiles(config::ZipCacheDir());
  download::RemoveStalePartFiles(config::ExeDir());

  if (GetFileAttributesW(configPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
    config::TIniFile ini(configPath);
    TStoredSettings stored{ini.ReadString(L"game", L"gamepath", L""),
                           ini.ReadBool(L"updata", L"autoupdata", false)};
    if (FPendingForm2) {
      FPendingForm2 = stored;
    } else {
      Form2().Edit1->SetText(*stored.GamePath);
      Form2().CheckBox1->SetChecked(*stored.AutoUpdate);
    }
    LaunchAddonCount = ini.ReadInteger(L"updata", L"num", 0);
    SetAutoInstall(AutoInstallStored());
    InstalledVersion = ini.ReadInteger(L"updataver", L"ver", 0);
  }

  FVersionCheckPending = true;
  ui::Application().Post([this, alive = std::weak_ptr<bool>(FAlive)] {
    if (!alive.expired()) StartPendingVersionCheck();
  });

  bool autoUpdate = FPendingForm2
                        ? FPendingForm2->AutoUpdate.value_or(config::TForm2::kAutoUpdateDefault)
                        : Form2().AutoUpdate();
  if (autoUpdate) {
    Label6->SetCaption(L"正在檢查是否有新版本中,請稍候...");
    Timer1.SetInterval(3000);
    Timer1.SetEnabled(true);
  }

  std::wstring exeDir = config::ExeDir();
  DeleteFileW((exeDir + L"VornisTools.old").c_str());
  DeleteFileW((exeDir + L"delme.bat").c_str());
}

void TForm1::StartPendingVersionCheck() {
  if (!FVersionCheckPending) return;
  FVersionCheckPending = false;
  StartVersionCheck();
}

bool TForm1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_COMMAND:
      // Tray menu commands sent to the window run like a pick from the tray menu.
      if (lParam == 0 && HIWORD(wParam) == 0 && PopupMenu1.Dispatch(LOWORD(wParam))) {
        result = 0;
        return true;
      }
      return false;
    case WM_QUERYENDSESSION:
      // A log-off or shut-down is never refused, and no balloon shows for it.
      FCanQuit = false;
      result = 1;
      return true;
    case WM_MOVING:
      result = DefWindowProcW(Handle(), message, wParam, lParam);
      ui::Application().Guard([&] { WMMoving(*reinterpret_cast<RECT*>(lParam)); });
      result = TRUE;
      return true;
    default:
      return false;
  }
}

}  // namespace app
