// A wait that keeps the windows answering.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>

// Units of the interval: 0 milliseconds, 1 seconds, 2 minutes, 3 hours; any
// other value is itself the length of one count in milliseconds.
enum DelayUnit : int { Milliseconds = 0, Seconds = 1, Minutes = 2, Hours = 3 };

// Waits interval x unit while dispatching the thread's window messages (a
// WM_QUIT stays queued). Returns true, always.
bool PumpingDelay(std::optional<int> interval = std::nullopt, std::optional<int> unit = std::nullopt);

// The due time in 100-nanosecond units, negative for a wait relative to now.
std::int64_t DelayDueTime(std::optional<int> interval, std::optional<int> unit);

// The waiting loop on a timer that was armed for the due time. Without a
// working timer (null, or a wait that fails) it falls back to the tick count,
// so the call still ends at the due time.
void WaitDispatching(HANDLE timer, std::int64_t dueTime);
