// Drives the running program for the headless demo: presses "确认" on the
// sample link (or on the link given), waits for the answer and prints the
// result box. Leaves the window open so that it can be photographed.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kIdLinkBox = 101;
constexpr int kIdCodeBox = 102;
constexpr int kIdResultBox = 103;

std::wstring Text(HWND w) {
  wchar_t buffer[2048] = {};
  SendMessageW(w, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

void Print(const char* label, const std::wstring& text) {
  char utf8[4096] = {};
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
  std::printf("%s%s\n", label, utf8);
  std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  HWND window = nullptr;
  for (int i = 0; i < 400 && !window; ++i) {
    Sleep(50);
    window = FindWindowW(L"NetdiskLinkMainWindow", nullptr);
  }
  if (!window) {
    std::printf("the program's window did not appear\n");
    return 1;
  }
  if (argc > 1) SendMessageW(GetDlgItem(window, kIdLinkBox), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[1]));
  if (argc > 2) SendMessageW(GetDlgItem(window, kIdCodeBox), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
  Print("link:   ", Text(GetDlgItem(window, kIdLinkBox)));
  Print("code:   ", Text(GetDlgItem(window, kIdCodeBox)));
  DWORD_PTR ignored;
  SendMessageTimeoutW(GetDlgItem(window, IDOK), BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &ignored);
  const std::wstring result = Text(GetDlgItem(window, kIdResultBox));
  Print("result: ", result);
  return result.empty() ? 1 : 0;
}
