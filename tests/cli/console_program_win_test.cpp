// The Windows console program under Wine, as a process of its own against
// the fake service: a batch, and a captcha answered in its window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "resolver/origin.h"
#include "support/captcha_user_win.h"
#include "support/fake_service.h"

namespace {

const std::wstring kOrigin(ServiceOrigin.begin(), ServiceOrigin.end());
const std::string O(ServiceOrigin);

struct Finished {
  DWORD status = 0;
  std::string out, err;
};

std::string ReadAll(HANDLE pipe) {
  std::string data;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) data.append(buffer, got);
  return data;
}

// Runs the program with these arguments and collects what it wrote.
Finished RunProgram(const std::wstring& arguments) {
  // The first window of the prefix starts Wine's desktop process, which would
  // inherit the pipes from the program and keep them open: start it from here.
  DestroyWindow(CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW si{sizeof si};
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::wstring command = L"\"" NETDISK_CLI_EXE L"\" " + arguments;
  Finished f;
  const BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  EXPECT_TRUE(started);
  if (started) {
    std::string err;
    std::thread errReader([&] { err = ReadAll(errRead); });
    f.out = ReadAll(outRead);
    errReader.join();
    f.err = err;
    WaitForSingleObject(pi.hProcess, 60000);
    GetExitCodeProcess(pi.hProcess, &f.status);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return f;
}

// Text mode writes a CR before each LF.
std::string Lines(std::string text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

TEST(ConsoleProgram, ResolvesABatchInOrder) {
  const Finished f = RunProgram(L"-j 3 \"链接: " + kOrigin + L"/s/1plain 提取码: ab12 复制这段内容后打开百度网盘手机App\" " +
                         kOrigin + L"/s/1gone " + kOrigin + L"/s/1second");
  EXPECT_EQ(f.status, 1u);
  EXPECT_EQ(Lines(f.out), O + "/file/901001/%E4%B8%AD%E6%96%87%E6%96%87%E4%BB%B6.txt?sign=abc&expires=8h\n" + O +
                              "/file/901002/report-2026.pdf?sign=abc&expires=8h\n");
  EXPECT_EQ(Lines(f.err), "error: " + O +
                              "/s/1gone: the share page holds no share (removed, expired, or locked by a code)\n");
}

TEST(ConsoleProgram, JsonCarriesTheFileNameInUtf8) {
  const Finished f = RunProgram(L"--json " + kOrigin + L"/s/1plain?pwd=ab12");
  EXPECT_EQ(f.status, 0u);
  EXPECT_NE(f.out.find("\"file\":\"\xE4\xB8\xAD\xE6\x96\x87\xE6\x96\x87\xE4\xBB\xB6.txt\""), std::string::npos)
      << f.out;
}

TEST(ConsoleProgram, AsksTheCaptchaInTheProgramsWindow) {
  std::thread user([] { AnswerOnce(L"ab12"); });
  const Finished f = RunProgram(L"-c ab12 " + kOrigin + L"/s/1captcha");
  user.join();
  EXPECT_EQ(f.status, 0u) << f.err;
  EXPECT_EQ(Lines(f.out), O + "/file/901005/captcha.png?sign=abc&expires=8h\n");
}

}  // namespace
