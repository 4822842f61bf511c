// The simple timer: refusing an interval of 0, the shared active count, restarts and
// stops through its properties, and one-shot timers.
#include "tray/SimpleTimer.h"

#include <gtest/gtest.h>

#include <memory>

#include "TrayTestSupport.h"

using tray::TSimpleTimer;

namespace {

TEST(SimpleTimer, IntervalZeroNeverStartsAndTheCountFollowsStartsAndStops) {
  const int before = TSimpleTimer::ActiveCount();
  TSimpleTimer timer(0, [](TSimpleTimer&) {});
  EXPECT_FALSE(timer.Start());
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());

  timer.SetInterval(50);
  EXPECT_FALSE(timer.Active()) << "setting the interval does not start a stopped timer";
  ASSERT_TRUE(timer.Start());
  ASSERT_TRUE(timer.Start()) << "restarting counts once";
  auto other = std::make_unique<TSimpleTimer>(50, [](TSimpleTimer&) {});
  ASSERT_TRUE(other->Start());
  EXPECT_EQ(before + 2, TSimpleTimer::ActiveCount());
  other.reset();
  EXPECT_EQ(before + 1, TSimpleTimer::ActiveCount()) << "destroying a running timer";
  timer.SetInterval(0);
  EXPECT_FALSE(timer.Active());
  EXPECT_FALSE(timer.Stop()) << "stopping twice";
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());

  timer.SetInterval(20);
  ASSERT_TRUE(timer.Start());
  timer.SetOnTimer(nullptr);
  EXPECT_FALSE(timer.Active());
  EXPECT_EQ(before, TSimpleTimer::ActiveCount());
}

TEST(SimpleTimer, OneShotStopsBeforeItsHandlerAndTheHandlerMayDestroyIt) {
  int shots = 0;
  auto timer = std::make_unique<TSimpleTimer>(10, [&](TSimpleTimer& sender) {
    EXPECT_FALSE(sender.Active());
    ++shots;
  });
  timer->SetAutoDisable(true);
  ASSERT_TRUE(timer->Start());
  ASSERT_TRUE(traytest::PumpUntil([&] { return shots > 0; }));
  EXPECT_EQ(1, shots);

  timer->SetAutoDisable(false);
  timer->SetOnTimer([&](TSimpleTimer&) { timer.reset(); });
  ASSERT_TRUE(timer->Start());
  ASSERT_TRUE(traytest::PumpUntil([&] { return timer == nullptr; }));
}

}  // namespace
