// Platform functions bound by library and name on their first call. The
// binding then serves the rest of the process; a library or function that
// cannot be found ends the process with an error box naming it.
#pragma once

#include <windows.h>

namespace platform {

// The address of `function` in `library`, loading the library on first use.
FARPROC Bind(const char* library, const char* function);

// Reports the missing library or function and ends the process.
[[noreturn]] void Missing(const char* library, const char* function);

}  // namespace platform

// BOUND("wininet.dll", InternetOpenA)(...) calls the function through a pointer
// of the declared type, bound once per call site (and once per process in Bind).
#define BOUND(library, function)                                                          \
  ([]() {                                                                                 \
    static const auto bound =                                                             \
        reinterpret_cast<decltype(&::function)>(reinterpret_cast<void*>(                  \
            ::platform::Bind(library, #function)));                                       \
    return bound;                                                                         \
  }())
