#include "host/delay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <limits>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Milliseconds this thread has run on a processor.
double ThreadCpuMilliseconds() {
  FILETIME created, exited, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME t) { return ((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4; };
  return ms(kernel) + ms(user);
}

TEST(PumpingDelay, DueTimeByUnit) {
  const struct {
    std::optional<int> interval, unit;
    std::int64_t due;
  } cases[] = {
      {1000, std::nullopt, -10000000},
      {1000, 0, -10000000},
      {2, 1, -20000000},
      {1, 2, -600000000},
      {1, 3, -36000000000LL},
      {100, 7, -7000000},  // any other unit is the length of a count
      {3, -2, 60000},      // a negative count length turns it into a time long past
      {0, 0, 0},
      {-5, std::nullopt, 50000},
      {std::nullopt, std::nullopt, 0},
      {std::nullopt, 3, 0},
      {INT_MAX, 3, std::numeric_limits<std::int64_t>::min()},  // saturates rather than overflows
      {INT_MIN, 3, std::numeric_limits<std::int64_t>::max()},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DelayDueTime(c.interval, c.unit), c.due)
        << c.interval.value_or(-999) << " x unit " << c.unit.value_or(-999);
  }
}

// A hidden window that counts what reaches it.
class Counter {
 public:
  static constexpr UINT kPosted = WM_APP, kSent = WM_APP + 1;
  static inline int posted = 0, sent = 0, timer = 0;

  Counter() {
    WNDCLASSW cls{};
    cls.lpfnWndProc = Proc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"DelayTestCounter";
    RegisterClassW(&cls);  // fails harmlessly when a former test registered it
    window = CreateWindowW(L"DelayTestCounter", L"", 0, 0, 0, 10, 10, nullptr, nullptr, cls.hInstance, nullptr);
    posted = sent = timer = 0;
  }
  ~Counter() { DestroyWindow(window); }

  HWND window;

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == kPosted) ++posted;
    if (m == kSent) ++sent;
    if (m == WM_TIMER) ++timer;
    return DefWindowProcW(w, m, wp, lp);
  }
};

// Another thread that, once the wait is under way, posts to the window, sends
// to it (which returns only once the waiting thread handled it) and may post
// a WM_QUIT to the waiting thread.
class Visitor {
 public:
  Visitor(HWND window, bool quit) : waiting_(GetCurrentThreadId()) {
    thread_ = std::thread([=, this] {
      Sleep(100);
      PostMessageW(window, Counter::kPosted, 0, 0);
      // Bounded, so that a wait which never dispatches fails the test instead of hanging it.
      SendMessageTimeoutW(window, Counter::kSent, 0, 0, SMTO_NORMAL, 2000, nullptr);
      if (quit) PostThreadMessageW(waiting_, WM_QUIT, 7, 0);
    });
  }
  ~Visitor() { thread_.join(); }

 private:
  DWORD waiting_;
  std::thread thread_;
};

TEST(PumpingDelay, WaitsAtLeastTheDueTimeWhileHandlingMessages) {
  Counter counter;
  const double cpuBefore = ThreadCpuMilliseconds();
  const auto start = Clock::now();
  {
    Visitor visitor(counter.window, true);
    EXPECT_TRUE(PumpingDelay(400));
  }
  const long long waited = MillisecondsSince(start);
  EXPECT_GE(waited, 395);
  EXPECT_LT(waited, 3000);
  EXPECT_EQ(Counter::posted, 1);
  EXPECT_EQ(Counter::sent, 1);
  // A queued WM_QUIT must not turn the rest of the wait into a busy loop.
  EXPECT_LT(ThreadCpuMilliseconds() - cpuBefore, waited / 2.0);
  // The quit message stays for the loop that owns it.
  MSG m;
  ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(m.wParam, 7u);
}

TEST(PumpingDelay, WindowTimersTickDuringTheWait) {
  Counter counter;
  ASSERT_NE(SetTimer(counter.window, 1, 50, nullptr), 0u);
  PumpingDelay(400);
  KillTimer(counter.window, 1);
  EXPECT_GE(Counter::timer, 2);
}

TEST(PumpingDelay, LengthByUnit) {
  const struct {
    int interval, unit;
    long long atLeast;
  } cases[] = {{100, 7, 700}, {1, 1, 1000}, {250, 0, 250}};
  for (const auto& c : cases) {
    const auto start = Clock::now();
    EXPECT_TRUE(PumpingDelay(c.interval, c.unit));
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, c.atLeast - 5) << c.interval << " x unit " << c.unit;
    EXPECT_LT(waited, c.atLeast + 3000) << c.interval << " x unit " << c.unit;
  }
}

TEST(PumpingDelay, ZeroNegativeAndOmittedReturnPromptly) {
  const std::optional<int> intervals[] = {0, -1000, INT_MIN, std::nullopt};
  for (std::optional<int> interval : intervals) {
    const auto start = Clock::now();
    EXPECT_TRUE(PumpingDelay(interval, 1));
    EXPECT_LT(MillisecondsSince(start), 300) << interval.value_or(-999);
  }
}

// The loop the delay runs on, given no timer or one whose wait fails: it
// still ends at the due time and keeps handling messages meanwhile.
TEST(PumpingDelay, WithoutAWorkingTimerItStillEndsOnTimeAndDispatches) {
  const HANDLE notAWaitableObject = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7fff0));
  for (HANDLE timer : {HANDLE{nullptr}, notAWaitableObject}) {
    SCOPED_TRACE(timer ? "invalid handle" : "no handle");
    Counter counter;
    const auto start = Clock::now();
    {
      Visitor visitor(counter.window, true);
      WaitDispatching(timer, DelayDueTime(300, std::nullopt));
    }
    const long long waited = MillisecondsSince(start);
    EXPECT_GE(waited, 295);
    EXPECT_LT(waited, 3000);
    EXPECT_EQ(Counter::posted, 1);
    EXPECT_EQ(Counter::sent, 1);
    MSG m;
    EXPECT_TRUE(PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  }
}

}  // namespace
