// The main window in this process: its layout, the commands that belong to no feature
// module, the download handlers' texts and counters, docking and the message filter.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/Form1.h"
#include "config/IniFile.h"
#include "config/Paths.h"
#include "download/Transfers.h"
#include "selfupdate/SelfReplace.h"
#include "TestHttpServer.h"
#include "tray/Docking.h"
#include "ui/Application.h"

using namespace app;

namespace {

std::wstring WinPath(const std::string& unixPath) {
  std::wstring path = L"Z:" + ui::Widen(unixPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ui::Application().Initialize(GetModuleHandleW(nullptr));
    ui::Application().SetTitle(L"VornisTools");
    ui::Application().SetMessageBoxResponder([this](const ui::TMessageBoxRecord& box) {
      Boxes.push_back(box);
      return IDOK;
    });
    ui::Application().SetModalResponder([this](ui::TForm& form) {
      Dialogs.push_back(form.Caption());
      return static_cast<int>(ui::mrCancel);
    });
    DeleteFileW(config::ConfigIniPath().c_str());
    Form = std::make_unique<TForm1>();
    Form->SetForm2(std::make_unique<config::TForm2>());
  }
  void TearDown() override {
    Form.reset();
    ui::Application().SetMessageBoxResponder(nullptr);
    ui::Application().SetModalResponder(nullptr);
    DeleteFileW(config::ConfigIniPath().c_str());
  }

  void AddRow(const std::wstring& caption, const std::wstring& folder) {
    int row = Form->ListView1->InsertItem(Form->ListView1->Count(), caption);
    Form->ListView1->SetSubItem(row, 0, std::to_wstring(row + 1));
    Form->ListView1->SetSubItem(row, 1, folder);
    Form->ListView1->SetSubItem(row, 2, L"");
    Form->ListView1->SetSubItem(row, 3, L"");
  }

  static bool PumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
      ui::Application().ProcessMessages();
      Sleep(10);
    }
    return done();
  }

  std::unique_ptr<TForm1> Form;
  std::vector<ui::TMessageBoxRecord> Boxes;
  std::vector<std::wstring> Dialogs;
};

}  // namespace

TEST_F(MainWindow, LayoutMatchesTheFormDefinition) {
  EXPECT_EQ(L"維諾斯獵手TW Ver1.36", Form->Caption());
  RECT bounds{};
  GetWindowRect(Form->Handle(), &bounds);
  EXPECT_EQ(480, bounds.left);
  EXPECT_EQ(153, bounds.top);
  EXPECT_EQ(584, bounds.right - bounds.left);
  EXPECT_EQ(677, bounds.bottom - bounds.top);
  LONG style = GetWindowLongW(Form->Handle(), GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongW(Form->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST);

  const wchar_t* captions[] = {L"UI名稱", L"UI_ID", L"文件夾", L"描述", L"作者"};
  const int widths[] = {110, 70, 1, 280, 100};
  ASSERT_EQ(5, Form->ListView1->ColumnCount());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(captions[i], Form->ListView1->ColumnCaption(i));
    EXPECT_EQ(widths[i], Form->ListView1->ColumnWidth(i));
  }
  EXPECT_EQ(L"  安裝選中 UI", Form->Button1->Caption());
  EXPECT_EQ(L" 操作設置", Form->Button7->Caption());
  EXPECT_FALSE(Form->BitBtn4->Visible());
  EXPECT_FALSE(Form->Button10->Visible());
  EXPECT_FALSE(Form->Button4->Visible());
  EXPECT_EQ(L"正常", Form->Label6->Caption());
  EXPECT_EQ(L"安裝到遊戲目錄", Form->Label7->Caption());
  EXPECT_EQ(209, Form->Panel1->BoundsRect().bottom - Form->Panel1->BoundsRect().top);
  EXPECT_EQ(183, Form->Panel2->BoundsRect().bottom - Form->Panel2->BoundsRect().top);
}

TEST_F(MainWindow, ProgressRoundsHalvesToEvenAndReportsCompletion) {
  Form->ShowDownloadProgress(1024, 4096);
  EXPECT_EQ(4, Form->ProgressBar1->Max());
  EXPECT_EQ(1, Form->ProgressBar1->Position());
  EXPECT_EQ(L"正常", Form->Label6->Caption());
  // 1.5 and 2.5 both round to 2: a full bar.
  Form->ShowDownloadProgress(1536, 2560);
  EXPECT_EQ(2, Form->ProgressBar1->Max());
  EXPECT_EQ(2, Form->ProgressBar1->Position());
  EXPECT_EQ(L"檢查完成", Form->Label6->Caption());
  // An unknown total is 0 of 0, which is complete too.
  Form->Label6->SetCaption(L"x");
  Form->ShowDownloadProgress(5000, 0);
  EXPECT_EQ(L"檢查完成", Form->Label6->Caption());
}

TEST_F(MainWindow, CompletionsNameTheRowByTheirCount) {
  AddRow(L"A", L"a");
  AddRow(L"B", L" b ");
  AddRow(L"C", L"c");
  Form->ArchiveDownloaded();
  EXPECT_EQ(L"正在下載UI b 中...", Form->Label6->Caption());
  Form->ArchiveDownloaded();
  EXPECT_EQ(L"目前已經更新到最新", Form->Label6->Caption());
  Form->Label6->SetCaption(L"unchanged");
  Form->ArchiveDownloaded();
  EXPECT_EQ(L"unchanged", Form->Label6->Caption());
  EXPECT_EQ(3, Form->DownloadsDone);
  Form->DownloadFailed(E_FAIL, L"a.zip");
  EXPECT_EQ(L"更新失敗: a.zip", Form->Label6->Caption());
}

TEST_F(MainWindow, EachRefreshCountsItsOwnCompletions) {
  AddRow(L"A", L"a/");  // not plain names: the refresh starts no transfer
  AddRow(L"B", L"b/");
  AddRow(L"C", L"c/");
  Form->ArchiveDownloaded();
  Form->ArchiveDownloaded();
  Form->Button4->Click();
  Form->ArchiveDownloaded();
  EXPECT_EQ(L"正在下載UIb/中...", Form->Label6->Caption());
}

TEST_F(MainWindow, RefreshOfManyRowsKeepsABoundedNumberOfTransfersRunning) {
  testserver::TTestHttpServer server;
  const int rows = 40;
  for (int i = 0; i < rows; ++i) {
    std::string folder = "r" + std::to_string(i);
    AddRow(ui::Widen(folder), ui::Widen(folder));
    server.SetBody("/zip/" + folder + ".zip", "not a zip");
    server.SetFault("/zip/" + folder + ".zip", {.StallAfterBytes = 0});
  }
  Form->Button4->Click();
  auto pumpUntil = [](auto done, int steps = 3000) {
    for (int i = 0; i < steps && !done(); ++i) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Sleep(10);
    }
    return done();
  };
  ASSERT_TRUE(pumpUntil([&] { return server.StalledCount() >= 32; }));
  pumpUntil([] { return false; }, 100);  // a while longer: nothing more may start
  EXPECT_EQ(32, server.StalledCount());
  // The rest start as the first ones end; every archive is fetched once.
  for (int i = 0; i < rows; ++i) server.ClearFault("/zip/r" + std::to_string(i) + ".zip");
  server.ReleaseStalls();
  EXPECT_TRUE(pumpUntil([&] { return Form->DownloadsFailed == rows; }));
  for (int i = 0; i < rows; ++i)
    EXPECT_EQ(1, server.RequestCount("/zip/r" + std::to_string(i) + ".zip"));
}

TEST_F(MainWindow, GameLaunchNeedsAPathAndRecordsTheRowCount) {
  Form->Form2().Edit1->SetText(L"   ");
  Form->BitBtn3->Click();
  ASSERT_EQ(1u, Boxes.size());
  EXPECT_EQ(L"請設定遊戲安裝位置", Boxes[0].Text);
  ASSERT_EQ(1u, Dialogs.size());
  EXPECT_EQ(L"設置", Dialogs[0]);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(config::ConfigIniPath().c_str()));

  std::wstring game = WinPath(VORNIS_FAKE_GAME_PATH);
  std::wstring marker = game.substr(0, game.find_last_of(L'\\') + 1) + L"VNgame.started";
  DeleteFileW(marker.c_str());
  AddRow(L"A", L"a");
  AddRow(L"B", L"b");
  Form->Show();
  Form->Form2().Edit1->SetText(game);
  Form->BitBtn3->Click();
  EXPECT_EQ(2, config::TIniFile(config::ConfigIniPath()).ReadInteger(L"updata", L"num", -1));
  EXPECT_FALSE(Form->Visible());
  for (int i = 0; i < 100 && GetFileAttributesW(marker.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
    ui::Application().ProcessMessages();
    Sleep(100);
  }
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(marker.c_str()));
}

// Every show replaces the settings dialog, unsaved edits and all, by one holding what
// Config.ini says, or the form definition's values without it; the show's status line
// follows the stored flag although the dialog itself is made only after the paint.
TEST_F(MainWindow, EachShowGivesAFreshDialogWithTheStoredSettings) {
  {
    config::TIniFile ini(config::ConfigIniPath());
    ini.WriteString(L"game", L"gamepath", L"C:\\Game\\bin\\VNgame.exe");
    ini.WriteBool(L"updata", L"autoupdata", false);
  }
  Form->Form2().Edit1->SetText(L"unsaved");
  Form->Show();
  EXPECT_EQ(L"正常", Form->Label6->Caption());
  EXPECT_FALSE(Form->Timer1.Enabled());
  EXPECT_EQ(L"C:\\Game\\bin\\VNgame.exe", Form->Form2().GamePath());
  EXPECT_FALSE(Form->Form2().AutoUpdate());

  Form->Hide();
  DeleteFileW(config::ConfigIniPath().c_str());
  Form->Form2().Edit1->SetText(L"unsaved");
  Form->Show();
  Form->Timer1.SetEnabled(false);
  EXPECT_EQ(L"正在檢查是否有新版本中,請稍候...", Form->Label6->Caption());
  ui::Application().ProcessMessages();
  EXPECT_EQ(L"", Form->Form2().GamePath());
  EXPECT_TRUE(Form->Form2().AutoUpdate());
}

TEST_F(MainWindow, AboutShowsTheAuthorNotice) {
  Form->MainMenu1.Find(L"N7")->Click();
  ASSERT_EQ(1u, Boxes.size());
  EXPECT_EQ(L"author Orin", Boxes[0].Text);
  EXPECT_EQ(L"VornisTools", Boxes[0].Caption);
  // "啟動程式(&I)" has no handler at all.
  Form->MainMenu1.Find(L"ApplyFaceM")->Click();
  EXPECT_EQ(1u, Boxes.size());
}

#ifdef VORNIS_WEB_STANDIN
TEST_F(MainWindow, PageEntriesFlipTheirOwnCheckMarksAtEachClick) {
  // The stand-in automation server takes the place of the browser windows.
  auto classObject =
      reinterpret_cast<HRESULT(__stdcall*)(REFCLSID, REFIID, void**)>(reinterpret_cast<void*>(
          GetProcAddress(LoadLibraryW(WinPath(VORNIS_WEB_STANDIN).c_str()), "DllGetClassObject")));
  const CLSID standIn = {0x5e1f0001, 0x7e57, 0x4ab0, {0x9d, 0x1c, 0, 0, 0, 0, 0, 0xaa}};
  CLSID browser{};
  IUnknown* factory = nullptr;
  DWORD cookie = 0;
  ASSERT_EQ(S_OK, CLSIDFromProgID(L"InternetExplorer.Application", &browser));
  ASSERT_EQ(S_OK, classObject(standIn, IID_IClassFactory, reinterpret_cast<void**>(&factory)));
  ASSERT_EQ(S_OK, CoRegisterClassObject(browser, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                        &cookie));
  auto marked = [&](const wchar_t* name) {
    return (GetMenuState(Form->MainMenu1.Handle(), Form->MainMenu1.Find(name)->CommandId(),
                         MF_BYCOMMAND) &
            MF_CHECKED) != 0;
  };
  // "青橙遊戲網" starts checked, "維諾斯專區" clear.
  for (bool portal : {true, false}) {
    EXPECT_EQ(portal, marked(L"N9"));
    EXPECT_EQ(!portal, marked(L"N5"));
    Form->MainMenu1.Find(L"N9")->Click();
    Form->MainMenu1.Find(L"N5")->Click();
  }
  EXPECT_TRUE(marked(L"N9"));
  EXPECT_FALSE(marked(L"N5"));
  EXPECT_TRUE(Boxes.empty());
  CoRevokeClassObject(cookie);
}
#endif

TEST_F(MainWindow, DraggingClampsToTheScreenAndDocks) {
  RECT screen = dock::PrimaryScreenRect();
  RECT dragged{-50, -30, -50 + 584, -30 + 677};
  SendMessageW(Form->Handle(), WM_MOVING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&dragged));
  EXPECT_EQ(0, dragged.left);
  EXPECT_EQ(0, dragged.top);
  EXPECT_EQ(dock::kLeftEdge | dock::kTopEdge, Form->DockedEdges());
  EXPECT_TRUE(Form->Timer4.Enabled());

  RECT beyond{screen.right + 10, 100, screen.right + 10 + 584, 100 + 677};
  SendMessageW(Form->Handle(), WM_MOVING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&beyond));
  EXPECT_EQ(screen.right, beyond.right);
  EXPECT_EQ(dock::kRightEdge, Form->DockedEdges() & dock::kRightEdge);

  RECT middle{100, 100, 100 + 584, 100 + 677};
  SendMessageW(Form->Handle(), WM_MOVING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&middle));
  EXPECT_EQ(100, middle.left);
  EXPECT_EQ(dock::kNoEdge, Form->DockedEdges());
  EXPECT_FALSE(Form->Timer4.Enabled());
}

TEST_F(MainWindow, DockedWindowSlidesOutWhenTheCursorIsElsewhere) {
  RECT corner{0, 0, 584, 677};
  SendMessageW(Form->Handle(), WM_MOVING, WMSZ_TOPLEFT, reinterpret_cast<LPARAM>(&corner));
  Form->Show();
  SetWindowPos(Form->Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetCursorPos(1000, 900);
  Form->Timer4Timer();
  RECT bounds{};
  GetWindowRect(Form->Handle(), &bounds);
  EXPECT_EQ(5 - 584, bounds.left);
  EXPECT_EQ(5 - 677, bounds.top);
}

TEST_F(MainWindow, RightClicksInsideTheBrowserControlsAreSwallowedButNotInTheList) {
  // The innermost windows of the real browser controls in both panels, which the window
  // creates once it has been painted.
  Form->FormCreateLate();
  auto innermost = [](HWND panel) {
    HWND window = GetWindow(panel, GW_CHILD);
    while (window && GetWindow(window, GW_CHILD)) window = GetWindow(window, GW_CHILD);
    return window;
  };
  HWND inPanel = innermost(Form->Panel3->Handle());
  HWND inAd = innermost(Form->Panel4->Handle());
  ASSERT_TRUE(inPanel && inAd);
  for (UINT message : {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK}) {
    EXPECT_TRUE(Form->ApplicationEvents1Message(MSG{inPanel, message, 0, 0, 0, {}}));
    EXPECT_TRUE(Form->ApplicationEvents1Message(MSG{inAd, message, 0, 0, 0, {}}));
    EXPECT_FALSE(
        Form->ApplicationEvents1Message(MSG{Form->ListView1->Handle(), message, 0, 0, 0, {}}));
  }
  EXPECT_FALSE(Form->ApplicationEvents1Message(MSG{inPanel, WM_LBUTTONDOWN, 0, 0, 0, {}}));
}

// The smallest file the archive check takes: an empty ZIP's end record.
const std::string kEmptyZip = std::string("PK\x05\x06", 4) + std::string(18, '\0');

// Refreshes overlap: the first one's archives end after the second has finished, and
// change neither the second's counts nor its status line.
TEST_F(MainWindow, AnEarlierRefreshTouchesNeitherCountsNorStatus) {
  testserver::TTestHttpServer server;
  for (const char* folder : {"old1", "old2"}) {
    DeleteFileW(config::ArchiveCachePath(ui::Widen(folder)).c_str());  // else only revalidated
    AddRow(ui::Widen(folder), ui::Widen(folder));
    server.SetBody("/zip/" + std::string(folder) + ".zip", folder[3] == '1' ? "no zip" : kEmptyZip);
    server.SetFault("/zip/" + std::string(folder) + ".zip", {.StallAfterBytes = 0});
  }
  Form->Button4->Click();
  ASSERT_TRUE(PumpUntil([&] { return server.StalledCount() == 2; }));
  Form->ListView1->Clear();
  AddRow(L"A", L"a");
  AddRow(L"B", L"gone");
  server.SetBody("/zip/a.zip", kEmptyZip);
  Form->Button4->Click();
  const std::wstring end = L"更新結束, 1 個UI更新失敗";
  ASSERT_TRUE(PumpUntil([&] { return Form->Label6->Caption() == end; }));
  server.ReleaseStalls();
  ASSERT_TRUE(PumpUntil([] { return download::LiveTransferCount() == 0; }));
  EXPECT_EQ(end, Form->Label6->Caption());
  EXPECT_EQ(2, Form->DownloadsStarted);
  EXPECT_EQ(1, Form->DownloadsDone);
  EXPECT_EQ(1, Form->DownloadsFailed);
}

// Each show removes the temporary files of ended processes; the window's end stops the
// transfers still running, so none goes on to replace its file.
TEST_F(MainWindow, ShowsSweepTemporaryFilesAndTheEndStopsTransfers) {
  testserver::TTestHttpServer server;
  server.SetBody("/zip/big.zip", std::string(16 << 20, 'x') + kEmptyZip);
  server.SetFault("/zip/big.zip", {.StallAfterBytes = 1 << 20});
  const std::wstring stale[] = {config::ZipCacheDir() + L"a.zip.1-2.part",
                                config::ExeDir() + L"VornisTools2.exe.1-2.part"};
  CreateDirectoryW(config::ZipCacheDir().c_str(), nullptr);
  for (const std::wstring& path : stale)
    CloseHandle(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  Form->Show();
  Form->Timer1.SetEnabled(false);
  for (const std::wstring& path : stale)
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));

  DeleteFileW(config::ArchiveCachePath(L"big").c_str());
  AddRow(L"Big", L"big");
  Form->Button4->Click();
  ASSERT_TRUE(PumpUntil([&] { return server.StalledCount() == 1; }));
  server.ReleaseStalls();
  Form.reset();
  ASSERT_TRUE(PumpUntil([] { return download::LiveTransferCount() == 0; }));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(config::ArchiveCachePath(L"big").c_str()));
}

// The swap waits while a message box, a menu, an install or a removal is open, and
// goes ahead (here: finds no new executable) once none is.
TEST_F(MainWindow, SwapWaitsForBoxesMenusInstallsAndRemovals) {
  DeleteFileW(selfupdate::NewExePath(config::ExePath()).c_str());
  static std::function<void()> inModalLoop;
  std::vector<bool> waited;
  auto probe = [&] {
    Form->Timer3.SetInterval(6000);
    Form->Timer3.SetEnabled(true);
    Form->Timer3Timer();
    waited.push_back(Form->Timer3.Enabled() && Form->Timer3.Interval() == 1000);
    Form->Timer3.SetEnabled(false);
  };
  auto soon = [](std::function<void()> step) {
    inModalLoop = std::move(step);
    SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      inModalLoop();
    });
  };
  Form->Show();
  Form->Timer1.SetEnabled(false);
  ui::Application().SetMessageBoxResponder(nullptr);
  soon([&] {
    probe();
    HWND box = GetActiveWindow();
    if (box != Form->Handle()) PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  Form->MainMenu1.Find(L"N7")->Click();  // the author notice
  soon([&] {
    probe();
    EndMenu();
  });
  Form->PopupMenu1.Popup(10, 10, Form->Handle());
  ui::Application().SetMessageBoxResponder([&](const ui::TMessageBoxRecord&) {
    probe();
    return IDNO;
  });
  Form->Button1->Click();  // install: asks for the game path first
  Form->Form2().Edit1->SetText(WinPath(VORNIS_FAKE_GAME_PATH));
  Form->Button8->Click();  // removal: asks first
  EXPECT_EQ(std::vector<bool>({true, true, true, true}), waited);
  probe();
  EXPECT_FALSE(waited.back());
  EXPECT_EQ(L"檢查完成", Form->Label6->Caption());
}

// A version file cut short inside a compressed answer, at any byte, never lands: the
// cached file is the whole one or none.
TEST_F(MainWindow, CutCompressedVersionFileNeverLands) {
  testserver::TTestHttpServer server;
  const std::string whole = "[updataver]\r\nver=12\r\n";
  server.SetBody("/UPdate.ini", whole);
  std::wstring cached = config::UpdateIniPath();
  for (long long announced = 1; announced < 64; ++announced) {
    DeleteFileW(cached.c_str());
    server.SetFault("/UPdate.ini", {.AnnouncedLength = announced, .Encoding = "gzip"});
    Form->StartVersionCheck();
    ASSERT_TRUE(PumpUntil([] { return download::LiveTransferCount() == 0; }));
    std::ifstream in(std::filesystem::path(cached), std::ios::binary);
    std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_TRUE(got.empty() || got == whole) << announced << ": " << got;
  }
}
