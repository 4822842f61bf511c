// The tray icon against real windows: the shell's notification area, the main window
// it conceals and restores, its popup menu, and icon cycling; and the docking hover
// test, which reads the real cursor.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <vector>

#include "TrayTestSupport.h"
#include "tray/Docking.h"
#include "ui/Menus.h"

using namespace tray;
using traytest::CreateTestWindow;
using traytest::Notify;
using traytest::PumpUntil;

namespace {

bool ShellKnows(const NOTIFYICONDATAW& record) {
  NOTIFYICONDATAW data = record;
  data.uFlags = NIF_TIP;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(TrayShell, AddModifyDeleteAndBalloonFollowIconVisible) {
  TTrayIcon icon;
  EXPECT_FALSE(icon.ShowBalloonTip(L"VornisTools ", L"Hello", TBalloonIcon::Info, 10))
      << "no balloon without an icon";
  icon.SetIconVisible(true);
  EXPECT_TRUE(icon.IconVisible());
  EXPECT_TRUE(ShellKnows(icon.IconData()));
  EXPECT_TRUE(icon.UpdateTrayIcon());
  EXPECT_TRUE(icon.ShowBalloonTip(L"VornisTools ", L"Hello", TBalloonIcon::Info, 10));
  EXPECT_TRUE(icon.ClearBalloonTip());
  icon.SetIconVisible(false);
  EXPECT_FALSE(icon.IconVisible());
  EXPECT_FALSE(ShellKnows(icon.IconData()));
}

TEST(TrayShell, VisibleIconReturnsAfterTheShellRestartsHiddenOneDoesNot) {
  TTrayIcon shown, hidden;
  shown.SetIconVisible(true);
  ASSERT_TRUE(ShellKnows(shown.IconData()));
  // The restarted shell has forgotten every icon.
  NOTIFYICONDATAW forgotten = shown.IconData();
  Shell_NotifyIconW(NIM_DELETE, &forgotten);
  ASSERT_FALSE(ShellKnows(shown.IconData()));

  // The shell announces itself to every top-level window.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                      SMTO_ABORTIFHUNG, 5000, &ignored);
  ASSERT_TRUE(PumpUntil([&] { return ShellKnows(shown.IconData()); }));
  EXPECT_TRUE(shown.IconVisible());
  EXPECT_FALSE(ShellKnows(hidden.IconData()));
  EXPECT_FALSE(hidden.IconVisible());
}

TEST(TrayShell, DestroyingTheComponentRemovesItsIcon) {
  NOTIFYICONDATAW record{};
  {
    TTrayIcon icon;
    icon.SetIconVisible(true);
    record = icon.IconData();
    ASSERT_TRUE(ShellKnows(record));
  }
  EXPECT_FALSE(ShellKnows(record));
}

// --- Main window ---

class TrayMainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    main = CreateTestWindow();
    ASSERT_NE(nullptr, main);
    ShowWindow(main, SW_SHOW);
  }
  void TearDown() override {
    if (IsWindow(main)) DestroyWindow(main);
  }

  HWND main = nullptr;
};

TEST_F(TrayMainWindow, ConcealAndRestore) {
  TTrayIcon icon(main);
  icon.SetMainWindow(main);
  icon.ConcealMainWindow();
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_FALSE(icon.IconVisible()) << "concealing alone does not show the icon";
  icon.RestoreMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));

  // A minimised window comes back at its normal size.
  ShowWindow(main, SW_MINIMIZE);
  icon.ConcealMainWindow();
  icon.RestoreMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
}

TEST_F(TrayMainWindow, WithoutOwnerOrMainWindowNothingHappens) {
  TTrayIcon unowned;
  unowned.SetMainWindow(main);
  unowned.ConcealMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
  TTrayIcon noMain(main);
  noMain.ConcealMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(TrayMainWindow, SeparateTaskbarWindowIsHiddenAndShownWithTheMainWindow) {
  HWND taskbarWindow = CreateTestWindow();
  ShowWindow(taskbarWindow, SW_SHOWNOACTIVATE);
  HWND owned = CreateTestWindow(taskbarWindow);
  ShowWindow(owned, SW_SHOW);
  {
    TTrayIcon icon(owned);
    icon.SetMainWindow(owned);
    icon.ConcealMainWindow();
    EXPECT_FALSE(IsWindowVisible(owned));
    EXPECT_FALSE(IsWindowVisible(taskbarWindow));
    icon.RestoreMainWindow();
    EXPECT_TRUE(IsWindowVisible(owned));
    EXPECT_TRUE(IsWindowVisible(taskbarWindow));
  }
  DestroyWindow(taskbarWindow);  // takes the owned window with it
}

TEST_F(TrayMainWindow, MinimizeToTrayConcealsAndShowsTheIcon) {
  TTrayIcon icon(main);
  icon.SetMainWindow(main);
  ShowWindow(main, SW_MINIMIZE);
  EXPECT_TRUE(IsWindowVisible(main)) << "minimising is not intercepted by default";
  EXPECT_FALSE(icon.IconVisible());
  ShowWindow(main, SW_RESTORE);

  icon.SetMinimizeToTray(true);
  ShowWindow(main, SW_MINIMIZE);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(icon.IconVisible());
  icon.SetIconVisible(false);
}

TEST_F(TrayMainWindow, MinimizeCommandGoesToTheTrayWhenTheOwnerAsks) {
  TTrayIcon icon(main);
  icon.SetMainWindow(main);
  icon.SetMinimizeToTray(true);
  int events = 0;
  icon.OnMinimizeToTray = [&](TTrayIcon&) { ++events; };
  SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_EQ(1, events);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main)) << "the minimise itself was replaced";
  EXPECT_TRUE(icon.IconVisible());

  // The restore command brings a minimised, hidden window back.
  ShowWindow(main, SW_SHOWMINNOACTIVE);
  ShowWindow(main, SW_HIDE);
  SendMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  icon.SetIconVisible(false);
}

TEST_F(TrayMainWindow, StartupMayKeepTheMainWindowHidden) {
  TTrayIcon quiet(main);
  quiet.SetMainWindow(main);
  EXPECT_TRUE(quiet.Loaded());
  EXPECT_TRUE(IsWindowVisible(main));

  TTrayIcon hiding(main);
  hiding.SetMainWindow(main);
  hiding.OnStartup = [](TTrayIcon&, bool& showMainForm) { showMainForm = false; };
  EXPECT_FALSE(hiding.Loaded());
  EXPECT_FALSE(IsWindowVisible(main));
}

TEST_F(TrayMainWindow, WindowsDestroyedFirstAreLetGo) {
  TTrayIcon icon(main);
  icon.SetMainWindow(main);
  DestroyWindow(main);
  EXPECT_EQ(nullptr, icon.Owner());
  EXPECT_EQ(nullptr, icon.MainWindow());
  icon.ConcealMainWindow();  // nothing to act on any more
}

// --- Popup menu ---

// Runs inside the menu's modal loop: notes where the menu opened, then clicks far
// away from it as a user would, or ends it after a while if the click is ignored.
struct TMenuProbe {
  RECT MenuRect{};
  bool Seen = false;
  bool Clicked = false;
  bool Forced = false;
  int Ticks = 0;
};
TMenuProbe gProbe;

void CALLBACK ProbeMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menuWindow = FindWindowW(L"#32768", nullptr);
  if (menuWindow && IsWindowVisible(menuWindow) && !gProbe.Seen) {
    gProbe.Seen = true;
    GetWindowRect(menuWindow, &gProbe.MenuRect);
    SetCursorPos(gProbe.MenuRect.right + 200, gProbe.MenuRect.bottom + 200);
    INPUT clicks[2]{};
    clicks[0].type = clicks[1].type = INPUT_MOUSE;
    clicks[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    clicks[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, clicks, sizeof(INPUT));
    gProbe.Clicked = true;
  } else if (++gProbe.Ticks > 200) {
    gProbe.Forced = true;
    EndMenu();
  }
}

class TrayMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    gProbe = TMenuProbe{};
    menu.Build({{0, L"RestoreM", L"恢復視窗(&R)", [this] { picked.push_back(1); }},
                {0, L"SettingM", L"設置", [this] { picked.push_back(2); }},
                {0, L"QuitM", L"退出程式", [this] { picked.push_back(4); }}});
    icon.SetPopupMenu(&menu);
  }

  // Sends one notification with the probe running; returns when the menu is gone.
  void NotifyWithProbe(UINT event) {
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ProbeMenu);
    Notify(icon, event);
    KillTimer(nullptr, timer);
  }

  ui::TPopupMenu menu;
  TTrayIcon icon;
  std::vector<int> picked;
};

TEST_F(TrayMenu, RightButtonDownOpensTheMenuAtTheCursorAndAClickElsewhereClosesIt) {
  SetCursorPos(300, 250);
  bool downSeen = false;
  icon.OnMouseDown = [&](TTrayIcon&, TMouseButton button, TShiftState, int, int) {
    downSeen = button == TMouseButton::Right;
    EXPECT_FALSE(gProbe.Seen) << "mouse down comes before the menu";
  };
  NotifyWithProbe(WM_RBUTTONDOWN);
  EXPECT_TRUE(downSeen);
  ASSERT_TRUE(gProbe.Seen);
  EXPECT_EQ(300, gProbe.MenuRect.left);
  EXPECT_EQ(250, gProbe.MenuRect.top);
  EXPECT_FALSE(gProbe.Forced) << "the click elsewhere did not close the menu";
  EXPECT_TRUE(picked.empty());
}

TEST_F(TrayMenu, LeftButtonOpensTheMenuOnlyWithLeftPopup) {
  NotifyWithProbe(WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_FALSE(gProbe.Seen);
  icon.SetLeftPopup(true);
  NotifyWithProbe(WM_LBUTTONDOWN);
  EXPECT_TRUE(gProbe.Seen);
}

TEST_F(TrayMenu, DoubleClickRunsTheDefaultEntry) {
  int doubleClicks = 0;
  icon.OnDblClick = [&](TTrayIcon&) { ++doubleClicks; };
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(picked.empty()) << "no default entry, nothing runs";
  SetMenuDefaultItem(menu.Handle(), menu.Find(L"SettingM")->CommandId(), FALSE);
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(std::vector<int>{2}, picked);
  icon.SetLeftPopup(true);
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(std::vector<int>{2}, picked) << "with LeftPopup the default entry is not run";
  EXPECT_EQ(3, doubleClicks);
}

TEST_F(TrayMenu, DisabledIconOpensNoMenu) {
  icon.SetEnabled(false);
  NotifyWithProbe(WM_RBUTTONDOWN);
  EXPECT_FALSE(gProbe.Seen);
}

// --- Icon cycling ---

class TrayCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0);
    for (LPCWSTR id : {IDI_APPLICATION, IDI_WARNING, IDI_ERROR}) {
      ImageList_AddIcon(images, LoadIconW(nullptr, id));
    }
    idleTimers = TSimpleTimer::ActiveCount();
  }
  void TearDown() override { ImageList_Destroy(images); }

  HIMAGELIST images = nullptr;
  int idleTimers = 0;
};

TEST_F(TrayCycle, IntervalZeroNeverCycles) {
  TTrayIcon icon;
  icon.SetIconList(images);
  icon.SetIconIndex(2);
  icon.SetCycleIcons(true);
  EXPECT_EQ(0, icon.IconIndex()) << "starting to cycle begins at the first image";
  EXPECT_EQ(idleTimers, TSimpleTimer::ActiveCount());
  EXPECT_EQ(nullptr, icon.Icon());
}

TEST_F(TrayCycle, StepsThroughTheListAndWraps) {
  TTrayIcon icon;
  std::vector<int> steps;
  icon.OnCycle = [&](TTrayIcon& sender, int index) {
    EXPECT_NE(nullptr, sender.Icon());
    steps.push_back(index);
  };
  icon.SetIconList(images);
  icon.SetCycleInterval(10);
  icon.SetCycleIcons(true);
  ASSERT_TRUE(PumpUntil([&] { return steps.size() >= 4; }));
  icon.SetCycleIcons(false);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 0}), std::vector<int>(steps.begin(), steps.begin() + 4));
  EXPECT_EQ(idleTimers, TSimpleTimer::ActiveCount());
}

TEST_F(TrayCycle, IconIndexStaysInsideTheList) {
  TTrayIcon icon;
  icon.SetIconIndex(5);
  EXPECT_EQ(0, icon.IconIndex()) << "without a list the index is 0";
  icon.SetIconList(images);
  icon.SetIconIndex(7);
  EXPECT_EQ(2, icon.IconIndex());
  icon.SetIconIndex(-3);
  EXPECT_EQ(0, icon.IconIndex());
  icon.SetIconIndex(1);
  icon.SetIconList(nullptr);
  EXPECT_EQ(0, icon.IconIndex());
}

// --- Docking hover ---

TEST(DockHover, CursorOverAChildControlCountsAsOverTheWindow) {
  HWND window = traytest::CreateTestWindow(nullptr, WS_POPUP | WS_VISIBLE);
  ASSERT_NE(nullptr, window);
  SetWindowPos(window, HWND_TOPMOST, 200, 200, 300, 200, SWP_SHOWWINDOW);
  HWND child = CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50,
                               window, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, child);
  traytest::PumpUntil([] { return true; });

  SetCursorPos(400, 350);  // the window itself
  EXPECT_TRUE(dock::CursorOverWindow(window));
  SetCursorPos(230, 230);  // the child button
  ASSERT_EQ(child, WindowFromPoint(POINT{230, 230}));
  EXPECT_TRUE(dock::CursorOverWindow(window));
  SetCursorPos(100, 100);  // outside
  EXPECT_FALSE(dock::CursorOverWindow(window));
  EXPECT_FALSE(dock::CursorOverWindow(nullptr));
  DestroyWindow(window);
}

TEST(DockHover, PrimaryScreenIsTheSystemMetrics) {
  RECT screen = dock::PrimaryScreenRect();
  EXPECT_EQ(0, screen.left);
  EXPECT_EQ(0, screen.top);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), screen.right);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), screen.bottom);
}

}  // namespace
