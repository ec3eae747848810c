// Driving windows from a test with real messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

std::wstring WindowText(HWND window);

// Watches, on its own thread, for a message box with the given caption,
// records its text and presses its OK button.
class MessageBoxCloser {
 public:
  explicit MessageBoxCloser(std::wstring caption);
  ~MessageBoxCloser();
  int seen() const { return seen_; }
  std::wstring text() const { return text_; }

 private:
  std::wstring caption_;
  std::atomic<bool> stop_{false};
  std::atomic<int> seen_{0};
  std::wstring text_;
  std::thread thread_;
};

// Dispatches pending messages for a while (lets posted work run).
void PumpFor(DWORD milliseconds);
