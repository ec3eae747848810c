// No exception may cross a window procedure into the window system, which
// cannot unwind through its own frames: memory running out (a std::bad_alloc)
// or any other exception inside a handler ends at the procedure as the
// outcome of a request that failed.
#pragma once

#include <exception>

// Runs `work`; if it throws, runs `instead`, which must not throw itself.
template <class Work, class Instead>
void GuardCallback(Work&& work, Instead&& instead) noexcept {
  try {
    work();
  } catch (const std::exception&) {
    instead();
  }
}
