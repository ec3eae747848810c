// The captcha window: the image, the answer box and the confirm button.
#pragma once

#include <windows.h>

#include "app/gdi_win.h"
#include "resolver/platform.h"
#include "resolver/state.h"

inline constexpr int kCaptchaWidth = 216;
inline constexpr int kCaptchaHeight = 100;
inline constexpr wchar_t kCaptchaWindowClass[] = L"NetdiskLinkCaptchaWindow";
inline constexpr wchar_t kCaptchaPictureClass[] = L"NetdiskLinkCaptchaPicture";

enum CaptchaControlId : int {
  kIdCaptchaPicture = 201,
  kIdCaptchaAnswer = 202,
  kIdCaptchaConfirm = IDOK,
};

struct CaptchaWindow {
  ResolverState& state;
  ResolverPlatform& platform;
  HWND window = nullptr;
  HWND 图片框1 = nullptr;
  HWND 按钮1 = nullptr;
  HWND 编辑框_验证码 = nullptr;
  GdiObject font;  // FangSong, for the answer box and the button
  Bytes picture;   // the BMP shown in 图片框1; empty: no picture
};

// Creates the window and its controls and fetches the first image.
bool CreateCaptchaWindow(CaptchaWindow& captcha, HINSTANCE instance);

// Opens the window as a modal dialog without an owner: `disabled` (the main
// window) cannot be used meanwhile. Returns once the window is destroyed.
void RunCaptchaWindow(CaptchaWindow& captcha, HINSTANCE instance, HWND disabled);

// Fetches the image of the state's captcha address and shows it.
void RefreshCaptchaPicture(CaptchaWindow& captcha);
