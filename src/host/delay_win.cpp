#include "host/delay.h"

#include "host/bind.h"
#include "host/owned.h"

namespace {

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { BOUND("kernel32.dll", CloseHandle)(h); }
};

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

}  // namespace

std::int64_t DelayDueTime(std::optional<int> interval, std::optional<int> unit) {
  return static_cast<std::int64_t>(static_cast<double>(interval.value_or(0)) * MillisecondsPerCount(unit) *
                                   -10000.0);
}

void WaitDispatching(HANDLE timer, std::int64_t dueTime) {
  const ULONGLONG start = BOUND("kernel32.dll", GetTickCount64)();
  // Relative due times only: an absolute one lies in the past for every caller.
  const ULONGLONG waitMs = dueTime < 0 ? static_cast<ULONGLONG>(-dueTime / 10000) : 0;
  const ULONGLONG deadline = start + waitMs;
  for (;;) {
    DWORD r = WAIT_FAILED;
    if (timer) r = BOUND("user32.dll", MsgWaitForMultipleObjects)(1, &timer, FALSE, INFINITE, kWakeMask);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_FAILED) {
      // No usable timer: wait on the clock instead, still waking for input.
      timer = nullptr;
      const ULONGLONG now = BOUND("kernel32.dll", GetTickCount64)();
      if (now >= deadline) return;
      const DWORD left = static_cast<DWORD>(deadline - now);
      if (BOUND("user32.dll", MsgWaitForMultipleObjects)(0, nullptr, FALSE, left, kWakeMask) == WAIT_TIMEOUT) {
        if (BOUND("kernel32.dll", GetTickCount64)() >= deadline) return;
      }
    }
    DispatchPending();
  }
}

bool PumpingDelay(std::optional<int> interval, std::optional<int> unit) {
  const std::int64_t dueTime = DelayDueTime(interval, unit);
  Owned<KernelHandleTraits> timer(BOUND("kernel32.dll", CreateWaitableTimerA)(nullptr, FALSE, nullptr));
  LARGE_INTEGER due;
  due.QuadPart = dueTime;
  bool armed = timer && BOUND("kernel32.dll", SetWaitableTimer)(timer.get(), &due, 0, nullptr, nullptr, FALSE);
  WaitDispatching(armed ? timer.get() : nullptr, dueTime);
  return true;
}
