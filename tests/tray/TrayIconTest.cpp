// Click recognition and the texts handed to the shell, driven by the notifications the
// shell would send to the shared tray window.
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
    icon.OnClick = [this](TTrayIcon&) { ++clicks; };
    icon.OnDblClick = [this](TTrayIcon&) { ++doubleClicks; };
    idleTimers = TSimpleTimer::ActiveCount();
  }
  // The click timer has run out (or never started).
  bool ClickTimerDone() const { return TSimpleTimer::ActiveCount() == idleTimers; }
  void PressAndRelease() {
    Notify(icon, WM_LBUTTONDOWN);
    Notify(icon, WM_LBUTTONUP);
  }

  TTrayIcon icon;
  int clicks = 0, doubleClicks = 0, idleTimers = 0;
};

TEST_F(TrayClick, QuickClickArrivesOnlyAfterTheDoubleClickTime) {
  PressAndRelease();
  EXPECT_EQ(0, clicks) << "a click must wait for a possible second click";
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(0, doubleClicks);
}

TEST_F(TrayClick, DoubleClickRaisesNoClickAndDoesNotSwallowTheNextOne) {
  PressAndRelease();  // the shell's order: down, up, double click, up
  Notify(icon, WM_LBUTTONDBLCLK);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, doubleClicks);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks);
  PressAndRelease();
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(1, clicks);
}

TEST_F(TrayClick, LongPressIsReportedAtRelease) {
  Notify(icon, WM_LBUTTONDOWN);
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(0, clicks) << "nothing is reported while the button is held";
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, clicks);
  Notify(icon, WM_LBUTTONUP);
  EXPECT_EQ(1, clicks) << "a release without a press is no click";
}

TEST_F(TrayClick, WithoutDoubleClickHandlerTheClickIsImmediate) {
  icon.OnDblClick = nullptr;
  PressAndRelease();
  EXPECT_EQ(1, clicks);
  // Regression: a double click seen without a handler cancelled the first click of a
  // press made after a handler was assigned.
  Notify(icon, WM_LBUTTONDBLCLK);
  icon.OnDblClick = [this](TTrayIcon&) { ++doubleClicks; };
  PressAndRelease();
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ(2, clicks);
}

TEST_F(TrayClick, DisabledIconIgnoresEverythingButBalloons) {
  std::vector<std::string> seen;
  icon.OnMouseDown = [&](TTrayIcon&, TMouseButton, TShiftState, int, int) {
    seen.push_back("down");
  };
  icon.OnMouseMove = [&](TTrayIcon&, TShiftState, int, int) { seen.push_back("move"); };
  icon.OnBalloonHintShow = [&](TTrayIcon&) { seen.push_back("show"); };
  icon.OnBalloonHintHide = [&](TTrayIcon&) { seen.push_back("hide"); };
  icon.OnBalloonHintTimeout = [&](TTrayIcon&) { seen.push_back("timeout"); };
  icon.OnBalloonHintClick = [&](TTrayIcon&) { seen.push_back("click"); };
  PressAndRelease();
  icon.SetEnabled(false);  // also drops the click already pending
  for (UINT event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                     WM_MBUTTONDOWN, NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT,
                     NIN_BALLOONUSERCLICK}) {
    Notify(icon, event);
  }
  ASSERT_TRUE(PumpUntil([&] { return ClickTimerDone(); }));
  EXPECT_EQ((std::vector<std::string>{"down", "show", "hide", "timeout", "click"}), seen);
  EXPECT_EQ(0, clicks + doubleClicks);
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
  PressAndRelease();
  PressAndRelease();
  ui::Application().SetMessageBoxResponder(nullptr);
  EXPECT_EQ(2, clicks);
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(L"tray broke.", boxes[0].Text);
}

TEST(TrayIconData, LongTextsAreCutNeverRefusedAndPairsStayWhole) {
  TTrayIcon icon;
  icon.SetIconVisible(true);
  icon.SetHint(std::wstring(127, L'b') + L"XYZ");
  EXPECT_EQ(std::wstring(127, L'b'), icon.IconData().szTip);
  icon.SetShowHint(false);
  EXPECT_EQ(std::wstring(), icon.IconData().szTip);
  icon.SetShowHint(true);
  const std::wstring pair = L"\xD83D\xDE00";     // one character outside the BMP
  icon.SetHint(std::wstring(126, L'a') + pair);  // would straddle the limit: dropped
  EXPECT_EQ(std::wstring(126, L'a'), icon.IconData().szTip);
  icon.SetHint(std::wstring(125, L'a') + pair + L"b");  // ends at the limit: kept
  EXPECT_EQ(std::wstring(125, L'a') + pair, icon.IconData().szTip);

  icon.ShowBalloonTip(std::wstring(62, L't') + pair, std::wstring(255, L'x') + L"+",
                      TBalloonIcon::Warning, 255);
  EXPECT_EQ(std::wstring(62, L't'), icon.IconData().szInfoTitle);
  EXPECT_EQ(std::wstring(255, L'x'), icon.IconData().szInfo);
  EXPECT_EQ(255000u, icon.IconData().uTimeout);
  EXPECT_EQ(DWORD(NIIF_WARNING), icon.IconData().dwInfoFlags);
  EXPECT_EQ(UINT(NIF_MESSAGE | NIF_ICON | NIF_TIP), icon.IconData().uFlags)
      << "later updates must not repeat the balloon";
  icon.SetIconVisible(false);
}

TEST(TrayIconData, TrayImageLoadsAsA64By64Icon) {
  const std::string path = std::string("Z:") + VORNIS_SOURCE_DIR + "/src/res/tray/tray.ico";
  auto image =
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
  DestroyIcon(image);
}

}  // namespace
