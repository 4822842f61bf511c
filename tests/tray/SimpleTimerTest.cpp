// The simple timer: refusing an interval of 0, the shared active count, restarts and
// stops through its properties, one-shot timers, and firing only while running.
#include "tray/SimpleTimer.h"

#include <gtest/gtest.h>

#include <memory>

#include "TrayTestSupport.h"

using tray::TSimpleTimer;
using traytest::PumpUntil;

namespace {

TEST(SimpleTimer, IntervalZeroDoesNotStart) {
  int before = TSimpleTimer::ActiveCount();
  TSimpleTimer timer(0, [](TSimpleTimer&) {});
  EXPECT_FALSE(timer.Start());
  EXPECT_FALSE(timer.Active());
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());

  TSimpleTimer defaults;
  EXPECT_EQ(1000u, defaults.Interval());
  EXPECT_FALSE(defaults.AutoDisable());
  EXPECT_FALSE(defaults.Active());
}

TEST(SimpleTimer, ActiveCountFollowsStartsAndStops) {
  int before = TSimpleTimer::ActiveCount();
  TSimpleTimer first(50, [](TSimpleTimer&) {});
  auto second = std::make_unique<TSimpleTimer>(50, [](TSimpleTimer&) {});
  EXPECT_NE(first.Identity(), second->Identity());
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(first.Start()) << "restarting a running timer";
  EXPECT_EQ(before + 1, TSimpleTimer::ActiveCount());
  ASSERT_TRUE(second->Start());
  EXPECT_EQ(before + 2, TSimpleTimer::ActiveCount());
  second.reset();  // a running timer counts down when destroyed
  EXPECT_EQ(before + 1, TSimpleTimer::ActiveCount());
  EXPECT_TRUE(first.Stop());
  EXPECT_FALSE(first.Stop()) << "stopping twice";
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());
}

TEST(SimpleTimer, PropertiesRestartOrStopARunningTimer) {
  int before = TSimpleTimer::ActiveCount();
  TSimpleTimer timer(1000, [](TSimpleTimer&) {});
  timer.SetInterval(20);
  EXPECT_FALSE(timer.Active()) << "setting the interval does not start a stopped timer";
  ASSERT_TRUE(timer.Start());
  timer.SetInterval(30);
  EXPECT_TRUE(timer.Active());
  EXPECT_EQ(before + 1, TSimpleTimer::ActiveCount());
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Active());
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());

  timer.SetInterval(20);
  ASSERT_TRUE(timer.Start());
  timer.SetOnTimer(nullptr);
  EXPECT_FALSE(timer.Active());
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());
}

TEST(SimpleTimer, TicksUntilStoppedAndOneShotStopsItself) {
  int ticks = 0;
  TSimpleTimer repeating(10, [&](TSimpleTimer& sender) {
    EXPECT_TRUE(sender.Active());
    if (++ticks == 3) sender.Stop();
  });
  ASSERT_TRUE(repeating.Start());
  ASSERT_TRUE(PumpUntil([&] { return !repeating.Active(); }));
  EXPECT_EQ(3, ticks);

  int shots = 0;
  TSimpleTimer oneShot(10, [&](TSimpleTimer& sender) {
    EXPECT_FALSE(sender.Active()) << "auto-disable stops before the handler runs";
    ++shots;
  });
  oneShot.SetAutoDisable(true);
  ASSERT_TRUE(oneShot.Start());
  ASSERT_TRUE(PumpUntil([&] { return shots > 0; }));
  EXPECT_FALSE(oneShot.Active());
  EXPECT_EQ(1, shots);
}

TEST(SimpleTimer, HandlerMayDestroyOrReplaceItsTimer) {
  int ticks = 0;
  auto timer = std::make_unique<TSimpleTimer>();
  timer->SetInterval(10);
  timer->SetOnTimer([&](TSimpleTimer& sender) {
    ++ticks;
    sender.SetOnTimer([&](TSimpleTimer&) { ticks += 100; });
  });
  ASSERT_TRUE(timer->Start());
  ASSERT_TRUE(PumpUntil([&] { return ticks >= 101; }));
  timer->SetOnTimer([&](TSimpleTimer&) {
    ++ticks;
    timer.reset();
  });
  ASSERT_TRUE(PumpUntil([&] { return timer == nullptr; }));
}

TEST(SimpleTimer, SharedWindowLivesWhileTimersExist) {
  EXPECT_EQ(nullptr, TSimpleTimer::HandlerWindow());
  {
    TSimpleTimer timer;
    EXPECT_TRUE(IsWindow(TSimpleTimer::HandlerWindow()));
  }
  EXPECT_EQ(nullptr, TSimpleTimer::HandlerWindow());
}

}  // namespace
