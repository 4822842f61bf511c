// Close to tray, restore from the tray, the exit commands and the log-off answer, on
// the real executable.
#include <gtest/gtest.h>

#include "Driver.h"
#include "TestHttpServer.h"

using namespace e2e;

namespace {

constexpr UINT kTrayCallback = 0x800;
// Command ids of the menus: main menu entries count from 100, tray entries from 200.
constexpr WPARAM kFileExit = 103;  // "退出"
constexpr WPARAM kTrayExit = 203;  // "退出程式"

std::string TestName() {
  return ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class TrayE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    Server.SetBody("/UPdate.ini", "[updataver]\r\nver=1\r\n", "text/plain");
    Box = std::make_unique<TSandbox>(TestName());
    Box->WriteFile(L"Config.ini", "[updata]\r\nautoupdata=0\r\n");
    Manager = TProcess::Start(Box->ExePath());
    Main = WaitMainWindow(Manager.Pid());
    ASSERT_TRUE(Main);
  }

  // Under a bare X server Wine shows its notification area as a window of its own,
  // visible exactly while some icon is in it.
  static bool NotificationAreaShown() {
    HWND area = FindWindowW(L"__winex11_standalone_tray", nullptr);
    return area && IsWindowVisible(area);
  }

  HWND TrayWindow() const { return FindTopWindowByClass(Manager.Pid(), L"TTrayIconHandler"); }

  static HWND FindTopWindowByClass(DWORD pid, const std::wstring& className) {
    HWND found = nullptr;
    for (HWND w = FindWindowExW(nullptr, nullptr, className.c_str(), nullptr); w;
         w = FindWindowExW(nullptr, w, className.c_str(), nullptr)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(w, &owner);
      if (owner == pid) found = w;
    }
    return found;
  }

  testserver::TTestHttpServer Server{L""};
  std::unique_ptr<TSandbox> Box;
  TProcess Manager;
  HWND Main = nullptr;
};

}  // namespace

TEST_F(TrayE2E, CloseHidesToTrayAndDoubleClickRestoresWithANewShow) {
  ASSERT_TRUE(Server.WaitForRequests("/UPdate.ini", 1, 10s));
  RequestClose(Main);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(Main); }));
  Sleep(500);
  EXPECT_TRUE(Manager.Running());
  HWND tray = TrayWindow();
  ASSERT_TRUE(tray);
  EXPECT_TRUE(WaitUntil([] { return NotificationAreaShown(); }));

  PostMessageW(tray, kTrayCallback, 1, WM_LBUTTONDBLCLK);
  ASSERT_TRUE(WaitUntil([&] { return IsWindowVisible(Main) != FALSE; }));
  // The showing sequence ran again: the version file is fetched anew.
  EXPECT_TRUE(Server.WaitForRequests("/UPdate.ini", 2, 10s));
}

TEST_F(TrayE2E, TrayExitEndsTheProcessAlsoWhileHidden) {
  RequestClose(Main);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(Main); }));
  PostMessageW(Main, WM_COMMAND, kTrayExit, 0);
  EXPECT_TRUE(Manager.WaitExit(10s));
}

TEST_F(TrayE2E, FileMenuExitEndsTheProcess) {
  PostMessageW(Main, WM_COMMAND, kFileExit, 0);
  EXPECT_TRUE(Manager.WaitExit(10s));
}

TEST_F(TrayE2E, LogOffQueryIsAnsweredAtOnceWithoutHiding) {
  DWORD_PTR answer = 0;
  ASSERT_TRUE(SendMessageTimeoutW(Main, WM_QUERYENDSESSION, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer));
  EXPECT_EQ(1u, answer);
  EXPECT_TRUE(IsWindowVisible(Main));
  EXPECT_TRUE(Manager.Running());
}
