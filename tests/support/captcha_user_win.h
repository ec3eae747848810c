// What a user does in the captcha window, from a test's own thread while the
// resolution runs on the window's thread.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "app/captcha_window_win.h"

inline bool WaitUntil(const std::function<bool()>& done, int milliseconds = 15000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    Sleep(20);
  }
  return false;
}

// The captcha window as the user sees it.
struct Captcha {
  HWND window = nullptr;
  HWND picture = nullptr;
  HWND answer = nullptr;
  HWND confirm = nullptr;

  bool Find() {
    // Shown only once created: before that its controls may not exist yet.
    const bool found = WaitUntil([&] {
      window = FindWindowW(kCaptchaWindowClass, nullptr);
      return window && IsWindowVisible(window);
    });
    if (!found) return false;
    picture = GetDlgItem(window, kIdCaptchaPicture);
    answer = GetDlgItem(window, kIdCaptchaAnswer);
    confirm = GetDlgItem(window, kIdCaptchaConfirm);
    return true;
  }
  void Type(const wchar_t* text) { SendMessageW(answer, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)); }
  void Confirm() { PostMessageW(confirm, BM_CLICK, 0, 0); }
  void PressPicture() {
    PostMessageW(picture, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    PostMessageW(picture, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  }
  bool Gone() { return WaitUntil([&] { return !IsWindow(window); }); }
};

// Answers the window once; the service's next answer is no demand, so it closes.
inline void AnswerOnce(const wchar_t* text) {
  Captcha c;
  ASSERT_TRUE(c.Find());
  c.Type(text);
  c.Confirm();
  EXPECT_TRUE(c.Gone());
}

