#include "host/bind.h"

#include <gtest/gtest.h>

#include <string>

#include "support/window_driver_win.h"

namespace {

TEST(Bind, SameAddressEveryTimeAndAsTheLoader) {
  const FARPROC first = platform::Bind("kernel32.dll", "GetTickCount");
  EXPECT_EQ(first, platform::Bind("kernel32.dll", "GetTickCount"));
  EXPECT_EQ(first, GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"));
  EXPECT_GT(BOUND("kernel32.dll", GetTickCount)(), 0u);
}

// Runs the probe, closes its error box and returns the box's text and the exit code.
std::pair<std::wstring, DWORD> RunProbe(const std::wstring& args) {
  STARTUPINFOW si{sizeof si};
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" BIND_MISSING_PROBE L"\" " + args;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    return {L"cannot start the probe", 0};
  }
  std::wstring text;
  {
    MessageBoxCloser closer(L"Error");
    for (int i = 0; i < 200 && closer.seen() == 0; ++i) Sleep(50);
    text = closer.text();
  }
  WaitForSingleObject(pi.hProcess, 10000);
  DWORD code = 99;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return {text, code};
}

TEST(Bind, MissingFunctionOrLibraryEndsTheProcessWithABoxNamingIt) {
  const auto [functionText, functionCode] = RunProbe(L"kernel32.dll NoSuchFunctionAnywhere");
  EXPECT_NE(functionText.find(L"NoSuchFunctionAnywhere"), std::wstring::npos) << functionText;
  EXPECT_NE(functionText.find(L"kernel32.dll"), std::wstring::npos);
  EXPECT_EQ(functionCode, 1u);
  const auto [libraryText, libraryCode] = RunProbe(L"nosuchlibrary.dll Anything");
  EXPECT_NE(libraryText.find(L"nosuchlibrary.dll"), std::wstring::npos) << libraryText;
  EXPECT_EQ(libraryCode, 1u);
}

}  // namespace
