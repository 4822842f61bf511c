// Click recognition, mouse events and the data handed to the shell, driven by the
// notifications the shell would send to the shared tray window.
#include "tray/TrayIcon.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TrayTestSupport.h"
#include "base/Exception.h"
#include "ui/Application.h"

using namespace tray;
using traytest::Notify;
using traytest::PumpUntil;

namespace {

class TrayClick : public ::testing::Test {
 protected:
  void SetUp() override {
    icon.OnClick = [this](TTrayIcon& sender) {
      EXPECT_EQ(&icon, &sender);
      ++clicks;
    };
    icon.OnDblClick = [this](TTrayIcon&) { ++doubleClicks; };
    idleTimers = TSimpleTimer::ActiveCount();
  }

  // The click timer has run out (or was never started).
  bool ClickTimerDone() const { return TSimpleTimer::ActiveCount() == idleTimers; }

  TTrayIcon icon;
  int clicks = 0;
  int doubleClicks = 0;
  int idleTimers = 0;
};

TEST_F(TrayClick, QuickClickArrivesOnlyAfterTheDoubleClickTime) {
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(0, clicks) << "a click must wait for a possible second click";
  ASSERT_TRUE(PumpUntil([&] { return clicks > 0; }, GetDoubleClickTime() + 10000));
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(0, doubleClicks);
}

TEST_F(TrayClick, DoubleClickRaisesDoubleClickAndNoClick) {
  // The shell's order for a double click: down, up, double click, up.
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  Notify(icon, WM_LBUTTONDBLCLK);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, doubleClicks);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks);

  // The cancelled click does not swallow the next single click.
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(1, doubleClicks);
}

TEST_F(TrayClick, LongPressIsReportedAtRelease) {
  Notify(icon, WM_LBUTTONDOWN);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks) << "nothing is reported while the button is held";
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, clicks);
}

TEST_F(TrayClick, WithoutDoubleClickHandlerTheClickIsImmediate) {
  icon.OnDblClick = nullptr;
  Notify(icon, WM_LBUTTONDOWN);
  EXPECT_TRUE(ClickTimerDone()) << "no click timer without a double-click handler";
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, clicks);

  // A double click seen without a handler must not cancel the click of a later press
  // once a handler is assigned.
  Notify(icon, WM_LBUTTONDBLCLK);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, clicks);
  icon.OnDblClick = [this](TTrayIcon&) { ++doubleClicks; };
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(2, clicks);
}

TEST_F(TrayClick, UpWithoutDownIsNoClick) {
  Notify(icon, WM_LBUTTONUP);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks);
}

TEST_F(TrayClick, DisabledIconIgnoresEverythingButBalloons) {
  std::vector<std::string> seen;
  icon.OnMouseDown = [&](TTrayIcon&, TMouseButton, TShiftState, int, int) {
    seen.push_back("down");
  };
  icon.OnMouseUp = [&](TTrayIcon&, TMouseButton, TShiftState, int, int) { seen.push_back("up"); };
  icon.OnMouseMove = [&](TTrayIcon&, TShiftState, int, int) { seen.push_back("move"); };
  icon.OnMouseEnter = [&](TTrayIcon&) { seen.push_back("enter"); };
  icon.OnBalloonHintShow = [&](TTrayIcon&) { seen.push_back("show"); };
  icon.OnBalloonHintHide = [&](TTrayIcon&) { seen.push_back("hide"); };
  icon.OnBalloonHintTimeout = [&](TTrayIcon&) { seen.push_back("timeout"); };
  icon.OnBalloonHintClick = [&](TTrayIcon&) { seen.push_back("click"); };
  icon.SetWantEnterExitEvents(true);
  icon.SetEnabled(false);

  for (UINT event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                     WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP}) {
    Notify(icon, event);
  }
  for (UINT event : {NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK}) {
    Notify(icon, event);
  }
  icon.SetWantEnterExitEvents(false);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ((std::vector<std::string>{"show", "hide", "timeout", "click"}), seen);
  EXPECT_EQ(0, clicks);
  EXPECT_EQ(0, doubleClicks);
}

TEST_F(TrayClick, DisablingDropsAPendingClick) {
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  icon.SetEnabled(false);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks);
}

TEST_F(TrayClick, ExceptionInAHandlerGoesToTheErrorBoxAndClicksGoOn) {
  std::vector<ui::TMessageBoxRecord> boxes;
  ui::Application().SetMessageBoxResponder([&](const ui::TMessageBoxRecord& box) {
    boxes.push_back(box);
    return IDOK;
  });
  icon.OnDblClick = nullptr;
  icon.OnClick = [this](TTrayIcon&) {
    ++clicks;
    throw Exception("tray broke");
  };
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  ui::Application().SetMessageBoxResponder(nullptr);
  EXPECT_EQ(2, clicks);
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(L"tray broke.", boxes[0].Text);
  EXPECT_TRUE(boxes[0].Flags & MB_ICONSTOP);
}

TEST(TrayMouse, ButtonsReportTheirButtonAndCursor) {
  TTrayIcon icon;
  struct TRecord {
    char kind;
    TMouseButton button;
    TShiftState shift;
    POINT at;
  };
  std::vector<TRecord> seen;
  icon.OnMouseDown = [&](TTrayIcon&, TMouseButton b, TShiftState s, int x, int y) {
    seen.push_back({'d', b, s, {x, y}});
  };
  icon.OnMouseUp = [&](TTrayIcon&, TMouseButton b, TShiftState s, int x, int y) {
    seen.push_back({'u', b, s, {x, y}});
  };
  SetCursorPos(123, 234);
  POINT cursor{};
  GetCursorPos(&cursor);

  Notify(icon, WM_MBUTTONDOWN);
  Notify(icon, WM_MBUTTONUP);
  Notify(icon, WM_RBUTTONUP);      // old-style shell: reported as right up
  Notify(icon, WM_CONTEXTMENU);    // version-5 only: ignored here
  Notify(icon, WM_RBUTTONDBLCLK);  // never reported
  Notify(icon, WM_MBUTTONDBLCLK);
  Notify(icon, WM_LBUTTONDOWN);
  Notify(icon, WM_LBUTTONUP);
  icon.SetShellBehaviour(TShellBehaviour::Version5);
  Notify(icon, WM_RBUTTONUP);  // not reported with version-5 behaviour
  Notify(icon, WM_CONTEXTMENU);
  Notify(icon, NIN_KEYSELECT);

  const std::vector<std::pair<char, TMouseButton>> expected{
      {'d', TMouseButton::Middle}, {'u', TMouseButton::Middle}, {'u', TMouseButton::Right},
      {'d', TMouseButton::Left},   {'u', TMouseButton::Left},   {'u', TMouseButton::Right},
      {'u', TMouseButton::Right}};
  ASSERT_EQ(expected.size(), seen.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(expected[i].first, seen[i].kind) << i;
    EXPECT_EQ(expected[i].second, seen[i].button) << i;
    TShiftState buttonFlag = seen[i].button == TMouseButton::Left    ? kLeftButton
                             : seen[i].button == TMouseButton::Right ? kRightButton
                                                                     : kMiddleButton;
    EXPECT_EQ(buttonFlag, seen[i].shift & (kLeftButton | kRightButton | kMiddleButton)) << i;
    EXPECT_EQ(cursor.x, seen[i].at.x) << i;
    EXPECT_EQ(cursor.y, seen[i].at.y) << i;
  }
}

TEST(TrayMouse, EnterOnceThenExitWhenTheCursorLeaves) {
  TTrayIcon icon;
  int enters = 0, moves = 0, exits = 0;
  icon.OnMouseEnter = [&](TTrayIcon&) { ++enters; };
  icon.OnMouseMove = [&](TTrayIcon&, TShiftState, int, int) { ++moves; };
  icon.OnMouseExit = [&](TTrayIcon&) { ++exits; };

  SetCursorPos(50, 50);
  Notify(icon, WM_MOUSEMOVE);
  EXPECT_EQ(0, enters) << "enter and exit only when asked for";
  icon.SetWantEnterExitEvents(true);
  Notify(icon, WM_MOUSEMOVE);
  Notify(icon, WM_MOUSEMOVE);
  EXPECT_EQ(1, enters);
  EXPECT_EQ(3, moves);
  EXPECT_EQ(0, exits);

  SetCursorPos(400, 300);
  ASSERT_TRUE(PumpUntil([&] { return exits > 0; }));
  Notify(icon, WM_MOUSEMOVE);
  EXPECT_EQ(2, enters) << "a move after the exit enters again";
  icon.SetWantEnterExitEvents(false);
  EXPECT_EQ(1, exits);
}

// --- Data handed to the shell ---

TEST(TrayIconData, FreshIconHasTheShellRecordDefaults) {
  TTrayIcon first, second;
  const NOTIFYICONDATAW& data = first.IconData();
  EXPECT_EQ(TTrayIcon::HandlerWindow(), data.hWnd);
  EXPECT_EQ(kTrayCallbackMessage, data.uCallbackMessage);
  EXPECT_EQ(0x800u, data.uCallbackMessage);
  EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), data.uFlags);
  EXPECT_NE(first.IconId(), second.IconId());
  EXPECT_EQ(first.IconData().hWnd, second.IconData().hWnd) << "one window serves all icons";
  EXPECT_TRUE(first.Enabled());
  EXPECT_TRUE(first.ShowHint());
  EXPECT_FALSE(first.IconVisible());
  EXPECT_FALSE(first.LeftPopup());
  EXPECT_FALSE(first.MinimizeToTray());
  EXPECT_FALSE(first.CycleIcons());
  EXPECT_FALSE(first.WantEnterExitEvents());
  EXPECT_EQ(TShellBehaviour::OldStyle, first.ShellBehaviour());
}

TEST(TrayIconData, SharedWindowLivesExactlyWhileIconsExist) {
  EXPECT_EQ(nullptr, TTrayIcon::HandlerWindow());
  {
    TTrayIcon first;
    HWND window = TTrayIcon::HandlerWindow();
    ASSERT_TRUE(IsWindow(window));
    {
      TTrayIcon second;
      EXPECT_EQ(window, TTrayIcon::HandlerWindow());
    }
    EXPECT_TRUE(IsWindow(window));
    // A stray close request does not take the window away from the live icon.
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window));
  }
  EXPECT_EQ(nullptr, TTrayIcon::HandlerWindow());
}

TEST(TrayIconData, LongTextsAreCutNeverRefused) {
  TTrayIcon icon;
  icon.SetHint(std::wstring(127, L'a'));
  EXPECT_EQ(std::wstring(127, L'a'), icon.IconData().szTip);
  icon.SetHint(std::wstring(127, L'b') + L"XYZ");
  EXPECT_EQ(std::wstring(127, L'b'), icon.IconData().szTip);
  icon.SetShowHint(false);
  EXPECT_EQ(std::wstring(), icon.IconData().szTip);
  icon.SetShowHint(true);
  icon.SetHint(L"");
  EXPECT_EQ(std::wstring(), icon.IconData().szTip);

  icon.SetIconVisible(true);
  icon.ShowBalloonTip(std::wstring(63, L't') + L"+", std::wstring(255, L'x') + L"+",
                      TBalloonIcon::Warning, 10);
  EXPECT_EQ(std::wstring(63, L't'), icon.IconData().szInfoTitle);
  EXPECT_EQ(std::wstring(255, L'x'), icon.IconData().szInfo);
  EXPECT_EQ(10000u, icon.IconData().uTimeout);
  EXPECT_EQ(DWORD(NIIF_WARNING), icon.IconData().dwInfoFlags);
  EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), icon.IconData().uFlags)
      << "later updates must not repeat the balloon";
  icon.ShowBalloonTip(L"", L"", TBalloonIcon::Error, 255);
  EXPECT_EQ(255000u, icon.IconData().uTimeout);
  EXPECT_EQ(DWORD(NIIF_ERROR), icon.IconData().dwInfoFlags);
  icon.DeleteTrayIcon();
}

TEST(TrayIconData, CuttingKeepsSurrogatePairsWhole) {
  TTrayIcon icon;
  const std::wstring pair = L"\xD83D\xDE00";  // one character outside the BMP
  // The pair would straddle the 127th unit: it is dropped whole.
  icon.SetHint(std::wstring(126, L'a') + pair);
  EXPECT_EQ(std::wstring(126, L'a'), icon.IconData().szTip);
  // A pair ending exactly at the limit is kept.
  icon.SetHint(std::wstring(125, L'a') + pair + L"b");
  EXPECT_EQ(std::wstring(125, L'a') + pair, icon.IconData().szTip);
  icon.ShowBalloonTip(std::wstring(62, L't') + pair, std::wstring(254, L'x') + pair,
                      TBalloonIcon::None, 1);
  EXPECT_EQ(std::wstring(62, L't'), icon.IconData().szInfoTitle);
  EXPECT_EQ(std::wstring(254, L'x'), icon.IconData().szInfo);
}

TEST(TrayIconData, IconIsCopiedAndSentToTheShell) {
  TTrayIcon icon;
  HICON source = CopyIcon(LoadIconW(nullptr, IDI_APPLICATION));
  icon.SetIcon(source);
  ASSERT_NE(nullptr, icon.Icon());
  EXPECT_NE(source, icon.Icon()) << "the component keeps its own copy";
  DestroyIcon(source);
  EXPECT_EQ(icon.Icon(), icon.IconData().hIcon);
  icon.SetIcon(nullptr);
  EXPECT_EQ(nullptr, icon.IconData().hIcon);
}

}  // namespace

namespace {

// The committed tray image must stay a loadable 64 x 64 icon.
TEST(TrayIconData, TrayImageLoadsAsA64By64Icon) {
  const std::string path = std::string("Z:") + VORNIS_SOURCE_DIR + "/src/res/tray/tray.ico";
  HICON image =
      static_cast<HICON>(LoadImageA(nullptr, path.c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE));
  ASSERT_NE(nullptr, image) << path;
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(image, &info));
  BITMAP colour{};
  GetObjectW(info.hbmColor, sizeof(colour), &colour);
  EXPECT_EQ(64, colour.bmWidth);
  EXPECT_EQ(64, colour.bmHeight);
  DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  TTrayIcon icon;
  icon.SetIcon(image);
  EXPECT_NE(nullptr, icon.Icon());
  DestroyIcon(image);
}

}  // namespace
