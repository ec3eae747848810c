#include "support/window_driver_win.h"

#include <chrono>

std::wstring WindowText(HWND window) {
  const int n = GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  GetWindowTextW(window, text.data(), n + 1);
  text.resize(wcslen(text.c_str()));
  return text;
}

MessageBoxCloser::MessageBoxCloser(std::wstring caption) : caption_(std::move(caption)) {
  thread_ = std::thread([this] {
    while (!stop_) {
      HWND box = FindWindowW(L"#32770", caption_.c_str());
      if (box && IsWindowVisible(box)) {
        wchar_t buffer[512] = {};
        GetDlgItemTextW(box, 0xFFFF, buffer, 512);  // the message text's static control
        text_ = buffer;
        ++seen_;
        SendMessageW(box, WM_COMMAND, IDOK, 0);
        while (IsWindow(box)) Sleep(10);
      }
      Sleep(20);
    }
  });
}

MessageBoxCloser::~MessageBoxCloser() {
  stop_ = true;
  thread_.join();
}

void PumpFor(DWORD milliseconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  MSG m;
  while (std::chrono::steady_clock::now() < end) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(5);
  }
}
