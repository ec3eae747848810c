#include "host/delay.h"

#include <limits>

#include "host/bind.h"
#include "host/handles_win.h"

namespace {

constexpr DWORD kWakeMask = 0xFF;  // keys, mouse, posted, timer, paint, sent, hot keys

double MillisecondsPerCount(std::optional<int> unit) {
  switch (unit.value_or(Milliseconds)) {
    case Milliseconds: return 1;
    case Seconds: return 1000;
    case Minutes: return 60000;
    case Hours: return 3600000;
    default: return *unit;
  }
}

// Dispatches what is queued, leaving a WM_QUIT for the loop that owns it.
void DispatchPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (message.message == WM_QUIT) return;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

ULONGLONG Now() { return BOUND("kernel32.dll", GetTickCount64)(); }

}  // namespace

std::int64_t DelayDueTime(std::optional<int> interval, std::optional<int> unit) {
  const double due = static_cast<double>(interval.value_or(0)) * MillisecondsPerCount(unit) * -10000.0;
  // Hours by the billion do not fit: saturate rather than convert out of range.
  constexpr double kLimit = 9.2e18;
  if (due <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  if (due >= kLimit) return std::numeric_limits<std::int64_t>::max();
  return static_cast<std::int64_t>(due);  // truncates toward zero
}

void WaitDispatching(HANDLE timer, std::int64_t dueTime) {
  // Relative due times only: an absolute one lies in the past for every caller.
  const ULONGLONG waitMs = dueTime < 0 ? static_cast<ULONGLONG>(-(dueTime / 10000)) : 0;
  const ULONGLONG deadline = Now() + waitMs;
  while (timer) {
    const DWORD r = BOUND("user32.dll", MsgWaitForMultipleObjects)(1, &timer, FALSE, INFINITE, kWakeMask);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_FAILED) break;
    DispatchPending();
  }
  // No usable timer: wait on the clock instead, still waking for messages.
  for (;;) {
    const ULONGLONG now = Now();
    if (now >= deadline) return;
    const ULONGLONG left = deadline - now;
    const DWORD slice = left < INFINITE ? static_cast<DWORD>(left) : INFINITE - 1;
    if (BOUND("user32.dll", MsgWaitForMultipleObjects)(0, nullptr, FALSE, slice, kWakeMask) == WAIT_FAILED) {
      BOUND("kernel32.dll", Sleep)(slice < 10 ? slice : 10);  // keeps a failing wait from spinning
    }
    DispatchPending();
  }
}

bool PumpingDelay(std::optional<int> interval, std::optional<int> unit) {
  const std::int64_t dueTime = DelayDueTime(interval, unit);
  KernelHandle timer(BOUND("kernel32.dll", CreateWaitableTimerA)(nullptr, FALSE, nullptr));
  LARGE_INTEGER due;
  due.QuadPart = dueTime;
  const bool armed =
      timer && BOUND("kernel32.dll", SetWaitableTimer)(timer.get(), &due, 0, nullptr, nullptr, FALSE);
  WaitDispatching(armed ? timer.get() : nullptr, dueTime);
  return true;
}
