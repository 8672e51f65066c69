#include <gtest/gtest.h>

#include "design.h"
#include "netlist_helpers.h"

namespace vexolin {
namespace {

// A 2-bit counter: clk net 2, q0 net 3, q1 net 4, n0 = !q0 net 5, n1 = q0 ^ q1 net 6, and an
// input d (net 7) feeding a buffer into net 8. Flip-flops are listed first.
const std::string kCounter = testing::top_module(
    R"("clk":{"direction":"input","bits":[2]},"d":{"direction":"input","bits":[7]},)"
    R"("q":{"direction":"output","bits":[3,4]})",
    R"("ff0":{"type":"$_DFF_P_","connections":{"C":[2],"D":[5],"Q":[3]}},)"
    R"("ff1":{"type":"$_DFF_P_","connections":{"C":[2],"D":[6],"Q":[4]}},)"
    R"("inv":{"type":"$_NOT_","connections":{"A":[3],"Y":[5]}},)"
    R"("xor":{"type":"$_XOR_","connections":{"A":[3],"B":[4],"Y":[6]}},)"
    R"("buf":{"type":"$_BUF_","connections":{"A":[7],"Y":[8]}})",
    R"("clk":{"bits":[2]},"q":{"bits":[3,4]},"n0":{"bits":[5]},"n1":{"bits":[6]},)"
    R"("d":{"bits":[7]},"u1.e":{"bits":[8]},"u1.f":{"bits":[8,2]})");

Design counter(Bit polarity = 1) {
  auto d =
      testing::design(kCounter, "module top\n cell ff0\n cell ff1\n cell inv\n cell xor\n", ".");
  EXPECT_TRUE(d.ok()) << (d.ok() ? "" : d.error().display());
  EXPECT_TRUE(d->set_clock(2, polarity).ok());
  return std::move(d).value();
}

unsigned value_of(const Design& d) {
  return d.store().get(3) | (d.store().get(4) << 1);
}

TEST(Clocked, CounterCountsCyclesAndClockEdges) {
  Design d = counter();
  ASSERT_TRUE(d.eval_clocked(std::nullopt).ok());
  EXPECT_EQ(value_of(d), 1u);
  ASSERT_TRUE(d.eval_clocked(2).ok());
  EXPECT_EQ(value_of(d), 3u);
  EXPECT_EQ(d.store().get(2), 0);
  EXPECT_EQ(d.store().rising_count(2), 3u);
  EXPECT_EQ(d.store().falling_count(2), 3u);
}

TEST(Clocked, ZeroCyclesRunsNoPass) {
  Design d = counter();
  d.store().set(7, 1);
  ASSERT_TRUE(d.eval_clocked(0).ok());
  EXPECT_EQ(d.store().get(8), 0);
  EXPECT_EQ(value_of(d), 0u);
}

TEST(Clocked, PolarityZeroDrivesLowFirst) {
  Design d = counter(0);
  ASSERT_TRUE(d.eval_clocked(1).ok());
  EXPECT_EQ(d.store().rising_count(2), 1u);
  EXPECT_EQ(d.store().falling_count(2), 0u);
  EXPECT_EQ(d.store().get(2), 1);
  // The positive-edge flip-flops saw their edge on the way back up.
  EXPECT_EQ(value_of(d), 1u);
}

TEST(Clocked, StuckClockNeverCaptures) {
  Design d = counter();
  ASSERT_TRUE(d.stick_signal(2, 0).ok());
  d.store().set(7, 1);
  ASSERT_TRUE(d.eval_clocked(3).ok());
  EXPECT_EQ(value_of(d), 0u);
  EXPECT_EQ(d.store().get(8), 1);  // combinational logic still settles
  EXPECT_EQ(d.store().total_count(2), 0u);
}

TEST(Clocked, MissingClockAndReset) {
  auto d = testing::design(kCounter, "module top\n");
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d->eval_clocked(1).error().display(), "No clock configured");
  EXPECT_EQ(d->eval_reset_clocked(1).error().display(), "No reset configured");
  ASSERT_TRUE(d->set_reset(7, 1).ok());
  EXPECT_EQ(d->eval_reset_clocked(1).error().display(), "No clock configured");
  EXPECT_EQ(d->store().get(7), 1);  // the reset stays active, no pass ran
  EXPECT_EQ(d->store().get(8), 0);
}

TEST(Clocked, ResetClockedWithZeroCyclesTogglesTheResetOnly) {
  Design d = counter();
  ASSERT_TRUE(d.set_reset(7, 1).ok());
  ASSERT_TRUE(d.eval_reset_clocked(0).ok());
  EXPECT_EQ(d.store().rising_count(7), 1u);
  EXPECT_EQ(d.store().falling_count(7), 1u);
  EXPECT_EQ(d.store().get(8), 0);  // released before any pass saw it
}

TEST(Clocked, ResetRestoresStateAndFreesStuckNets) {
  Design d = counter();
  ASSERT_TRUE(d.eval_clocked(2).ok());
  ASSERT_TRUE(d.stick_signal(5, 1).ok());
  d.reset();
  EXPECT_FALSE(d.store().is_stuck(5));
  EXPECT_EQ(value_of(d), 0u);
  EXPECT_EQ(d.store().total_count(2), 0u);
  ASSERT_TRUE(d.eval_clocked(1).ok());
  EXPECT_EQ(value_of(d), 1u);
}

TEST(Clocked, StickAndUnstickChecks) {
  Design d = counter();
  EXPECT_EQ(d.stick_signal(500, 2).error().display(),
            "Couldn't convert `2` to a Bit, must be 0 or 1");
  EXPECT_EQ(d.stick_signal(500, 1).error().display(), "Net `500` doesn't exist");
  EXPECT_EQ(d.unstick_signal(9).error().display(), "Net `9` doesn't exist");
  EXPECT_TRUE(d.unstick_signal(8).ok());
  EXPECT_FALSE(d.store().is_stuck(8));
  // Sticking nets 0 and 1 is allowed and plain.
  ASSERT_TRUE(d.stick_signal(1, 0).ok());
  EXPECT_EQ(d.store().get(1), 0);
  d.reset();
  EXPECT_EQ(d.store().get(1), 1);
}

TEST(Clocked, InterruptStopsAtACycleBoundary) {
  Design d = counter();
  int calls = 0;
  d.set_interrupt_hook([](void* c) { return ++*static_cast<int*>(c) >= 2; }, &calls);
  Status s = d.eval_clocked(1000);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.error().variant(), SimError::Variant::Interrupted);
  EXPECT_EQ(value_of(d), 2u);  // two whole cycles ran
  EXPECT_EQ(d.store().get(2), 0);
}

TEST(Toggles, BySignalAndByScope) {
  Design d = counter();
  ASSERT_TRUE(d.eval_clocked(3).ok());  // q: 0->1->2->3
  auto rising = d.toggles_by_signal(ToggleCategory::Rising);
  EXPECT_EQ(rising[""]["q"], 2u + 1u);  // q0 rose twice, q1 once
  EXPECT_EQ(rising[""]["clk"], 3u);
  auto falling = d.toggles_by_signal(ToggleCategory::Falling);
  EXPECT_EQ(falling[""]["q"], 1u);
  EXPECT_EQ(d.toggles_by_signal(ToggleCategory::Total)[""]["q"], 4u);
  // Net 2 belongs to clk and u1.f: counted in both.
  EXPECT_EQ(rising["u1"]["f"], 3u);
  EXPECT_EQ(d.toggles_by_scope(ToggleCategory::Rising)["u1"], 3u);
  d.reset();
  auto after = d.toggles_by_scope(ToggleCategory::Total);
  EXPECT_EQ(after.size(), 2u);  // scopes with named signals stay listed
  EXPECT_EQ(after[""], 0u);
  EXPECT_EQ(after["u1"], 0u);
}

TEST(Toggles, CategoryNamesAreExact) {
  EXPECT_EQ(*parse_toggle_category("rising"), ToggleCategory::Rising);
  EXPECT_EQ(*parse_toggle_category("falling"), ToggleCategory::Falling);
  EXPECT_EQ(*parse_toggle_category("total"), ToggleCategory::Total);
  EXPECT_EQ(parse_toggle_category("Total").error().display(), "Invalid toggle category `Total`");
}

}  // namespace
}  // namespace vexolin
