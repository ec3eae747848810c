#include "host/delay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(PumpingDelay, DueTimeByUnit) {
  const struct {
    std::optional<int> interval, unit;
    std::int64_t due;
  } cases[] = {
      {1000, std::nullopt, -10000000},  {2, 1, -20000000},       {1, 2, -600000000},
      {1, 3, -36000000000LL},           {100, 7, -7000000},      {0, 0, 0},
      {-5, std::nullopt, 50000},        {std::nullopt, std::nullopt, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(DelayDueTime(c.interval, c.unit), c.due);
}

// A hidden window that counts what reaches it.
struct Counter {
  static inline int posted = 0;
  static inline int sent = 0;
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_APP) ++posted;
    if (m == WM_APP + 1) ++sent;
    return DefWindowProcW(w, m, wp, lp);
  }
  HWND window;
  Counter() {
    WNDCLASSW cls{};
    cls.lpfnWndProc = Proc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"DelayTestCounter";
    RegisterClassW(&cls);
    window = CreateWindowW(L"DelayTestCounter", L"", 0, 0, 0, 10, 10, nullptr, nullptr, cls.hInstance, nullptr);
    posted = sent = 0;
  }
  ~Counter() { DestroyWindow(window); }
};

TEST(PumpingDelay, WaitsAtLeastTheDueTimeWhileHandlingMessages) {
  Counter counter;
  const DWORD self = GetCurrentThreadId();
  std::thread other([&] {
    Sleep(100);
    PostMessageW(counter.window, WM_APP, 0, 0);
    SendMessageW(counter.window, WM_APP + 1, 0, 0);  // returns only once the waiting thread handled it
    PostThreadMessageW(self, WM_QUIT, 7, 0);
  });
  const auto start = Clock::now();
  EXPECT_TRUE(PumpingDelay(400));
  const long long waited = MillisecondsSince(start);
  other.join();
  EXPECT_GE(waited, 395);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(Counter::posted, 1);
  EXPECT_EQ(Counter::sent, 1);
  // The quit message stays for the loop that owns it.
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7u);
}

TEST(PumpingDelay, UnitOtherThanTheFourIsTheCountLength) {
  const auto start = Clock::now();
  PumpingDelay(100, 7);
  EXPECT_GE(MillisecondsSince(start), 695);
}

TEST(PumpingDelay, ZeroNegativeAndOmittedReturnPromptly) {
  for (std::optional<int> interval : {std::optional<int>(0), std::optional<int>(-1000), std::optional<int>()}) {
    const auto start = Clock::now();
    PumpingDelay(interval);
    EXPECT_LT(MillisecondsSince(start), 300);
  }
}

TEST(PumpingDelay, WithoutATimerItStillEndsOnTimeAndDispatches) {
  Counter counter;
  std::thread other([&] {
    Sleep(100);
    PostMessageW(counter.window, WM_APP, 0, 0);
  });
  const auto start = Clock::now();
  WaitDispatching(nullptr, DelayDueTime(300, std::nullopt));
  const long long waited = MillisecondsSince(start);
  other.join();
  EXPECT_GE(waited, 295);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(Counter::posted, 1);
  // A handle that is no waitable object makes the wait fail: the same fallback.
  const auto again = Clock::now();
  WaitDispatching(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7fff0)), DelayDueTime(200, std::nullopt));
  EXPECT_GE(MillisecondsSince(again), 195);
}

}  // namespace
