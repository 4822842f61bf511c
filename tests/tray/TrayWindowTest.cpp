// The tray icon against real windows: the shell's notification area, the main window
// it conceals and restores, its popup menu and icon cycling; and the docking hover
// test, which reads the real cursor.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

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

TEST(TrayShell, VisibleIconReturnsAfterTheShellRestartsHiddenOneDoesNot) {
  TTrayIcon shown, hidden;
  EXPECT_FALSE(shown.ShowBalloonTip(L"T", L"no icon, no balloon", TBalloonIcon::Info, 10));
  shown.SetIconVisible(true);
  EXPECT_TRUE(shown.ShowBalloonTip(L"VornisTools ", L"Hello", TBalloonIcon::Info, 10));
  NOTIFYICONDATAW forgotten = shown.IconData();  // what a restarted shell has forgotten
  Shell_NotifyIconW(NIM_DELETE, &forgotten);
  ASSERT_FALSE(ShellKnows(shown.IconData()));

  // The new shell announces itself to every top-level window.
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0,
                      SMTO_ABORTIFHUNG, 5000, &ignored);
  ASSERT_TRUE(PumpUntil([&] { return ShellKnows(shown.IconData()); }));
  EXPECT_FALSE(ShellKnows(hidden.IconData()));
  EXPECT_FALSE(hidden.IconVisible());
}

class TrayMainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    taskbarWindow = CreateTestWindow();  // carries the taskbar button of `main`
    ShowWindow(taskbarWindow, SW_SHOWNOACTIVATE);
    main = CreateTestWindow(taskbarWindow);
    ShowWindow(main, SW_SHOW);
    icon.SetOwner(main);
    icon.SetMainWindow(main);
  }
  void TearDown() override { DestroyWindow(taskbarWindow); }

  HWND taskbarWindow = nullptr, main = nullptr;
  TTrayIcon icon;
};

TEST_F(TrayMainWindow, ConcealAndRestoreTakeTheTaskbarWindowAlong) {
  ShowWindow(main, SW_MINIMIZE);
  icon.ConcealMainWindow();
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_FALSE(IsWindowVisible(taskbarWindow));
  EXPECT_FALSE(icon.IconVisible()) << "concealing alone does not show the icon";
  icon.RestoreMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_TRUE(IsWindowVisible(taskbarWindow));
  EXPECT_FALSE(IsIconic(main)) << "a minimised window comes back at its normal size";

  icon.SetOwner(nullptr);  // without a windowed owner nothing is concealed
  icon.ConcealMainWindow();
  EXPECT_TRUE(IsWindowVisible(main));
}

TEST_F(TrayMainWindow, MinimizeToTray) {
  ShowWindow(main, SW_MINIMIZE);
  EXPECT_TRUE(IsWindowVisible(main)) << "minimising is not intercepted by default";
  ShowWindow(main, SW_RESTORE);
  icon.SetMinimizeToTray(true);
  ShowWindow(main, SW_MINIMIZE);  // the hook sees the window minimised
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_TRUE(icon.IconVisible());

  icon.RestoreMainWindow();
  int events = 0;
  icon.OnMinimizeToTray = [&](TTrayIcon&) { ++events; };
  SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);  // replaced by the owner subclass
  EXPECT_EQ(1, events);
  EXPECT_FALSE(IsWindowVisible(main));
  EXPECT_FALSE(IsIconic(main));
  icon.SetIconVisible(false);
}

TEST_F(TrayMainWindow, WindowsDestroyedFirstAreLetGo) {
  DestroyWindow(main);
  EXPECT_EQ(nullptr, icon.Owner());
  EXPECT_EQ(nullptr, icon.MainWindow());
}

// Runs inside the menu's modal loop: notes where the menu opened, then clicks far
// from it as a user would; ends the menu itself if that click is ignored.
struct TMenuProbe {
  RECT MenuRect{};
  bool Seen = false, Forced = false;
  int Ticks = 0;
} gProbe;

void CALLBACK ProbeMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menuWindow = FindWindowW(L"#32768", nullptr);
  if (menuWindow && IsWindowVisible(menuWindow) && !gProbe.Seen) {
    gProbe.Seen = true;
    GetWindowRect(menuWindow, &gProbe.MenuRect);
    SetCursorPos(gProbe.MenuRect.right + 200, gProbe.MenuRect.bottom + 200);
    INPUT click[2]{};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
  } else if (++gProbe.Ticks > 200) {
    gProbe.Forced = true;
    EndMenu();
  }
}

class TrayMenu : public ::testing::Test {
 protected:
  void SetUp() override {
    menu.Build({{0, L"RestoreM", L"恢復視窗(&R)", [this] { picked.push_back(1); }},
                {0, L"SettingM", L"設置", [this] { picked.push_back(2); }}});
    icon.SetPopupMenu(&menu);
  }
  void NotifyWithProbe(UINT event) {
    gProbe = TMenuProbe{};
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ProbeMenu);
    Notify(icon, event);
    KillTimer(nullptr, timer);
  }

  ui::TPopupMenu menu{100};
  TTrayIcon icon;
  std::vector<int> picked;
};

TEST_F(TrayMenu, RightButtonDownOpensTheMenuAtTheCursorAndAClickElsewhereClosesIt) {
  SetCursorPos(300, 250);
  NotifyWithProbe(WM_RBUTTONDOWN);
  ASSERT_TRUE(gProbe.Seen);
  EXPECT_EQ(300, gProbe.MenuRect.left);
  EXPECT_EQ(250, gProbe.MenuRect.top);
  EXPECT_FALSE(gProbe.Forced) << "the click elsewhere did not close the menu";
  EXPECT_TRUE(picked.empty());

  NotifyWithProbe(WM_LBUTTONDOWN);
  EXPECT_FALSE(gProbe.Seen) << "the left button opens the menu only with LeftPopup";
  icon.SetEnabled(false);
  NotifyWithProbe(WM_RBUTTONDOWN);
  EXPECT_FALSE(gProbe.Seen);
}

TEST_F(TrayMenu, DoubleClickRunsTheDefaultEntryUnlessLeftPopup) {
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(picked.empty()) << "no default entry, nothing runs";
  SetMenuDefaultItem(menu.Handle(), menu.Find(L"SettingM")->CommandId(), FALSE);
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(std::vector<int>{2}, picked);
  icon.SetLeftPopup(true);
  Notify(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(std::vector<int>{2}, picked);
}

TEST(TrayCycle, StepsThroughTheListAndNeverWithIntervalZero) {
  HIMAGELIST images = ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 3, 0);
  for (LPCWSTR id : {IDI_APPLICATION, IDI_WARNING, IDI_ERROR}) {
    ImageList_AddIcon(images, LoadIconW(nullptr, id));
  }
  int idleTimers = TSimpleTimer::ActiveCount();
  TTrayIcon icon;
  std::vector<int> steps;
  icon.OnCycle = [&](TTrayIcon&, int index) { steps.push_back(index); };
  icon.SetIconList(images);
  icon.SetIconIndex(7);
  EXPECT_EQ(2, icon.IconIndex()) << "the index stays inside the list";
  icon.SetCycleIcons(true);
  EXPECT_EQ(0, icon.IconIndex());
  EXPECT_EQ(idleTimers, TSimpleTimer::ActiveCount()) << "interval 0 never cycles";

  icon.SetCycleInterval(10);
  ASSERT_TRUE(PumpUntil([&] { return steps.size() >= 4; }));
  icon.SetCycleIcons(false);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 0}), std::vector<int>(steps.begin(), steps.begin() + 4));
  EXPECT_NE(nullptr, icon.Icon());
  icon.SetIconList(nullptr);
  ImageList_Destroy(images);
}

TEST(DockHover, CursorOverAChildControlCountsAsOverTheWindow) {
  HWND window = CreateTestWindow(nullptr, WS_POPUP);
  SetWindowPos(window, HWND_TOPMOST, 200, 200, 300, 200, SWP_SHOWWINDOW);
  HWND child = CreateWindowExW(0, L"BUTTON", L"child", WS_CHILD | WS_VISIBLE, 10, 10, 100, 50,
                               window, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetCursorPos(400, 350);
  EXPECT_TRUE(dock::CursorOverWindow(window));
  SetCursorPos(230, 230);
  ASSERT_EQ(child, WindowFromPoint(POINT{230, 230}));
  EXPECT_TRUE(dock::CursorOverWindow(window));
  SetCursorPos(100, 100);
  EXPECT_FALSE(dock::CursorOverWindow(window));
  DestroyWindow(window);
}

}  // namespace
