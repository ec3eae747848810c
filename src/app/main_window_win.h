// The main window: the share link, the extraction code, the confirm button and
// the result box.
#pragma once

#include <windows.h>

#include "app/gdi_win.h"
#include "resolver/platform.h"
#include "resolver/state.h"

inline constexpr int kMainWidth = 302;
inline constexpr int kMainHeight = 263;
inline constexpr wchar_t kMainWindowClass[] = L"NetdiskLinkMainWindow";

enum MainControlId : int {
  kIdLinkBox = 101,
  kIdCodeBox = 102,
  kIdResultBox = 103,
  kIdLinkLabel = 104,
  kIdCodeLabel = 105,
  kIdConfirm = IDOK,  // Enter in the input boxes presses it
};

struct MainWindow {
  ResolverState& state;
  ResolverPlatform& platform;
  HWND window = nullptr;
  HWND 标签1 = nullptr;
  HWND 编辑框_网址 = nullptr;
  HWND 按钮1 = nullptr;
  HWND 标签2 = nullptr;
  HWND 编辑框_提取密码 = nullptr;
  HWND 编辑框_地址 = nullptr;
  GdiObject labelFont;  // SimSun, for the labels and the button
  GdiObject inputFont;  // no face: the window system picks one
};

// Creates the window (hidden) and its controls; it lives until destroyed.
// Destroying it posts the quit message.
bool CreateMainWindow(MainWindow& main, HINSTANCE instance);

// Reads the link and the code, resolves them, and shows the result.
void OnConfirmClicked(MainWindow& main);

// A sample short share link on the service's origin, and a sample code.
Text SampleShareLink();
Text SampleExtractionCode();
