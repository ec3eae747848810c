// The owner of wininet's handle kind, and wininet's errors in words: shared
// by the exchange and the download.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <string>

#include "host/bind.h"
#include "host/owned.h"

struct InternetTraits {
  using Type = HINTERNET;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { BOUND("wininet.dll", InternetCloseHandle)(h); }
};
using InternetHandle = Owned<InternetTraits>;

// A wininet error code in words (UTF-8): the common ones named, the others as
// the system words them.
std::string WininetErrorText(DWORD code);
