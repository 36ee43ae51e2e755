// A lock left up for two days must not grow. The headless runtime runs the real forms on its
// virtual clock, with the trace kept out of memory as the program keeps it, while every heap
// allocation of this test binary is counted; after a warm-up hour the live heap must stay flat
// over 48 virtual hours. A control case keeps the trace in memory and must see the growth, so a
// meter that counts nothing cannot pass.

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <ostream>
#include <string>

#include "forms/fixture.h"

namespace {

std::atomic<long long> live_bytes{0};

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  live_bytes += static_cast<long long>(malloc_usable_size(block));
  return block;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  live_bytes -= static_cast<long long>(malloc_usable_size(block));
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* block) noexcept {
  Free(block);
}
void operator delete[](void* block) noexcept {
  Free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  Free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  Free(block);
}

namespace vellomar::testing {
namespace {

constexpr long kHourMs = 3600L * 1000;

struct Soak {
  const char* name;
  const char* command_line;
  const char* form;  // on screen for the whole soak
};

void PrintTo(const Soak& soak, std::ostream* out) {
  *out << soak.name;
}

class SoakTest : public FormsFixture, public ::testing::WithParamInterface<Soak> {
 protected:
  // Starts the run, brings it into its lasting state and lets a virtual hour pass, so that
  // caches and one-off allocations are made before the meter starts.
  void StartAndSettle(bool keep_events) {
    ui::HeadlessRuntime::Options options;
    options.command_line = GetParam().command_line;
    options.keep_events = keep_events;
    Start(std::move(options));
    // Left alone, the timed prompt's minute runs out and the lockout takes over for good.
    rt().AdvanceTime(61 * 1000);
    rt().AdvanceTime(kHourMs);
    ASSERT_TRUE(rt().FormVisible(GetParam().form));
    ASSERT_TRUE(rt().KeyboardLocked());
  }
  long long GrowthOver(int hours) {
    const long long before = live_bytes;
    for (int hour = 0; hour < hours; ++hour) rt().AdvanceTime(kHourMs);
    return live_bytes - before;
  }
};

TEST_P(SoakTest, HeapStaysFlatOverTwoVirtualDays) {
  StartAndSettle(/*keep_events=*/false);
  const long long growth = GrowthOver(48);
  EXPECT_GE(rt().VirtualSeconds(), 48 * 3600.0);
  RecordProperty("live_heap_growth_bytes", std::to_string(growth));
  EXPECT_TRUE(rt().FormVisible(GetParam().form));
  EXPECT_TRUE(rt().KeyboardLocked());
  EXPECT_FALSE(rt().Ended());
  // Some slack for the allocator's own rounding; a leak of one event a second would be MBs.
  EXPECT_LT(growth, 16 * 1024) << "live heap grew by " << growth << " bytes";
}

TEST_P(SoakTest, MeterSeesTheTraceKeptInMemory) {
  StartAndSettle(/*keep_events=*/true);
  const long long growth = GrowthOver(1);
  RecordProperty("live_heap_growth_bytes", std::to_string(growth));
  EXPECT_GT(growth, 100 * 1024) << "live heap grew by " << growth << " bytes only";
}

// A thousand wrong passwords in a burst, each held for the wait after the last: every one is
// checked in turn, the live heap does not grow with them, and the right one still unlocks.
TEST_F(FormsFixture, ThousandWrongPasswordsLeaveTheHeapFlatAndTheLockAnswering) {
  ui::HeadlessRuntime::Options options;
  options.command_line = "/locknowfull";
  options.keep_events = false;
  Start(std::move(options));
  TypeAndEnter("Kestrom", "warm-up");
  rt().AdvanceTime(2000);
  const long long before = live_bytes;
  for (int guess = 0; guess < 1000; ++guess) {
    TypeAndEnter("Kestrom", "wrong" + std::to_string(guess % 10));
    TypeAndEnter("Kestrom", "wrong");  // pressed again during the wait: adds nothing
    rt().AdvanceTime(2000);
  }
  const long long growth = live_bytes - before;
  EXPECT_LT(growth, 16 * 1024) << "live heap grew by " << growth << " bytes";
  EXPECT_EQ(rt().Caption("Kestrom", "Label3"), "Status: The password is incorrect.");
  TypeAndEnter("Kestrom", kPassword);
  rt().AdvanceTime(2000);
  EXPECT_TRUE(rt().Ended());
  EXPECT_FALSE(rt().KeyboardLocked());
}

INSTANTIATE_TEST_SUITE_P(LockStates, SoakTest,
                         ::testing::Values(Soak{"ExpiredPromptAndLockout", "", "Lockout"},
                                           Soak{"ImmediateFullLock", "/locknowfull", "Kestrom"},
                                           Soak{"ImmediateTaskbarLock", "/locknow", "Kestrom"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vellomar::testing
