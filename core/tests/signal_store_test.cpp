#include "signal/signal_store.h"

#include <gtest/gtest.h>

namespace vexolin {
namespace {

TEST(SignalStore, NewStoreHoldsTheConstants) {
  SignalStore s(10);
  EXPECT_EQ(s.net_count(), 10u);
  EXPECT_EQ(s.get(0), 0);
  EXPECT_EQ(s.get(1), 1);
  EXPECT_TRUE(s.is_stuck(0));
  EXPECT_TRUE(s.is_stuck(1));
  for (NetId n = 2; n < 10; ++n) {
    EXPECT_EQ(s.get(n), 0);
    EXPECT_FALSE(s.is_stuck(n));
  }
  for (NetId n = 0; n < 10; ++n) EXPECT_EQ(s.total_count(n), 0u);
  EXPECT_FALSE(s.dirty());
}

TEST(SignalStore, SetCountsOnlyChanges) {
  SignalStore s(10);
  s.set(5, 1);
  EXPECT_EQ(s.get(5), 1);
  EXPECT_EQ(s.rising_count(5), 1u);
  EXPECT_TRUE(s.dirty());
  s.set_dirty(false);
  s.set(5, 1);
  EXPECT_EQ(s.rising_count(5), 1u);
  EXPECT_FALSE(s.dirty());
  s.set(5, 0);
  EXPECT_EQ(s.falling_count(5), 1u);
  EXPECT_TRUE(s.dirty());
  for (int i = 0; i < 2; ++i) {
    s.set(5, 1);
    s.set(5, 0);
  }
  s.set(5, 1);
  EXPECT_EQ(s.rising_count(5), 3u + 1u);
  EXPECT_EQ(s.falling_count(5), 3u);
  EXPECT_EQ(s.total_count(5), 7u);
}

TEST(SignalStore, ConstantsIgnoreWrites) {
  SignalStore s(4);
  s.set(0, 1);
  s.set(1, 0);
  EXPECT_EQ(s.get(0), 0);
  EXPECT_EQ(s.get(1), 1);
  EXPECT_EQ(s.total_count(0) + s.total_count(1), 0u);
  EXPECT_FALSE(s.dirty());
}

TEST(SignalStore, StickAndUnstick) {
  SignalStore s(10);
  s.stick(5, 1);
  EXPECT_EQ(s.get(5), 1);
  EXPECT_EQ(s.total_count(5), 0u);
  EXPECT_FALSE(s.dirty());
  s.set(5, 0);
  EXPECT_EQ(s.get(5), 1);
  EXPECT_EQ(s.total_count(5), 0u);
  EXPECT_FALSE(s.dirty());
  s.unstick(5);
  EXPECT_EQ(s.get(5), 1);
  s.set(5, 0);
  EXPECT_EQ(s.falling_count(5), 1u);
  EXPECT_EQ(s.rising_count(5), 0u);
}

TEST(SignalStore, ClearFreesUserSticksAndZeroesCounters) {
  SignalStore s(6);
  s.set(3, 1);
  s.stick(4, 1);
  s.unstick(1);
  s.set(1, 0);
  s.clear();
  EXPECT_FALSE(s.dirty());
  EXPECT_FALSE(s.is_stuck(4));
  EXPECT_EQ(s.get(4), 0);
  EXPECT_EQ(s.get(3), 0);
  EXPECT_EQ(s.total_count(3), 0u);
  EXPECT_EQ(s.total_count(1), 0u);
  EXPECT_TRUE(s.is_stuck(0));
  EXPECT_TRUE(s.is_stuck(1));
  EXPECT_EQ(s.get(1), 1);
}

}  // namespace
}  // namespace vexolin
