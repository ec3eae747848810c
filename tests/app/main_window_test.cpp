// The main window as the program creates it, read back from the live window.
#include "app/captcha_window_win.h"
#include "app/main_window_win.h"

#include <gtest/gtest.h>

#include <string>

#include "resolver/origin.h"
#include "resolver/scripted_platform.h"

namespace {

struct Expected {
  HWND MainWindow::*control;
  const wchar_t* cls;
  RECT rect;  // client coordinates of the main window: left, top, right, bottom
  const wchar_t* face;  // nullptr: the window system's default font
};

std::wstring Text(HWND w) {
  wchar_t buffer[512] = {};
  GetWindowTextW(w, buffer, 512);
  return buffer;
}

std::wstring ClassOf(HWND w) {
  wchar_t buffer[64] = {};
  GetClassNameW(w, buffer, 64);
  return buffer;
}

class MainWindowTest : public testing::Test {
 protected:
  ScriptedPlatform platform;
  ResolverState state;
  MainWindow main{state, platform};

  void SetUp() override { ASSERT_TRUE(CreateMainWindow(main, GetModuleHandleW(nullptr))); }
  void TearDown() override {
    if (main.window) DestroyWindow(main.window);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {}  // the quit message of the destruction
  }
};

TEST_F(MainWindowTest, FrameSizeAndPlace) {
  RECT r;
  GetWindowRect(main.window, &r);
  EXPECT_EQ(r.right - r.left, 302);
  EXPECT_EQ(r.bottom - r.top, 263);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 302) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 263) / 2);
  const LONG style = GetWindowLongW(main.window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_EQ(Text(main.window), L"");
}

TEST_F(MainWindowTest, ControlsPlacesFontsAndTexts) {
  const Expected controls[] = {
      {&MainWindow::标签1, L"Static", {8, 8, 56, 40}, L"宋体"},
      {&MainWindow::编辑框_网址, L"Edit", {56, 8, 296, 40}, L""},
      {&MainWindow::按钮1, L"Button", {16, 48, 96, 80}, L"宋体"},
      {&MainWindow::标签2, L"Static", {160, 48, 240, 80}, L"宋体"},
      {&MainWindow::编辑框_提取密码, L"Edit", {240, 48, 296, 80}, L""},
      {&MainWindow::编辑框_地址, L"Edit", {0, 88, 296, 232}, nullptr},
  };
  for (const auto& c : controls) {
    HWND w = main.*c.control;
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), main.window);
    EXPECT_EQ(ClassOf(w), c.cls);
    RECT r;
    GetWindowRect(w, &r);
    MapWindowPoints(nullptr, main.window, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.rect.left) << ClassOf(w);
    EXPECT_EQ(r.top, c.rect.top);
    EXPECT_EQ(r.right, c.rect.right);
    EXPECT_EQ(r.bottom, c.rect.bottom);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0));
    if (!c.face) {
      EXPECT_EQ(font, nullptr);
      continue;
    }
    LOGFONTW lf{};
    ASSERT_NE(GetObjectW(font, sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -19);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(std::wstring(lf.lfFaceName), c.face);
  }
  EXPECT_EQ(Text(main.标签1), L"地址:");
  EXPECT_EQ(Text(main.按钮1), L"确认");
  EXPECT_EQ(Text(main.标签2), L"提取密码:");
  const std::wstring link = Text(main.编辑框_网址);
  const std::wstring origin(ServiceOrigin.begin(), ServiceOrigin.end());
  EXPECT_EQ(link.rfind(origin + L"/s/", 0), 0u) << link;
  EXPECT_EQ(Text(main.编辑框_提取密码).size(), 4u);
  EXPECT_EQ(Text(main.编辑框_地址), L"");
}

TEST_F(MainWindowTest, BoxStyles) {
  const LONG single = ES_AUTOHSCROLL;
  for (HWND w : {main.编辑框_网址, main.编辑框_提取密码}) {
    const LONG s = GetWindowLongW(w, GWL_STYLE);
    EXPECT_EQ(s & single, single);
    EXPECT_FALSE(s & (ES_MULTILINE | ES_READONLY | ES_PASSWORD | ES_CENTER | ES_RIGHT));
    EXPECT_TRUE(s & WS_TABSTOP);
  }
  const LONG result = GetWindowLongW(main.编辑框_地址, GWL_STYLE);
  const LONG wanted = ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
  EXPECT_EQ(result & wanted, wanted);
  EXPECT_FALSE(result & (ES_AUTOHSCROLL | ES_READONLY | ES_PASSWORD));
}

}  // namespace

namespace {

TEST(CaptchaWindowTest, FrameControlsAndFonts) {
  ScriptedPlatform platform;
  ResolverState state;  // no image address: the first fetch finds nothing to show
  CaptchaWindow captcha{state, platform};
  ASSERT_TRUE(CreateCaptchaWindow(captcha, GetModuleHandleW(nullptr)));
  EXPECT_EQ(Text(captcha.window), L"验证码");
  RECT r;
  GetWindowRect(captcha.window, &r);
  EXPECT_EQ(r.right - r.left, 216);
  EXPECT_EQ(r.bottom - r.top, 100);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 216) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 100) / 2);
  const LONG style = GetWindowLongW(captcha.window, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_EQ(GetWindow(captcha.window, GW_OWNER), nullptr);
  const struct {
    HWND control;
    RECT rect;
    bool fangSong;
  } controls[] = {{captcha.图片框1, {0, 0, 136, 72}, false},
                  {captcha.按钮1, {136, 0, 208, 40}, true},
                  {captcha.编辑框_验证码, {136, 40, 208, 72}, true}};
  for (const auto& c : controls) {
    RECT cr;
    GetWindowRect(c.control, &cr);
    MapWindowPoints(nullptr, captcha.window, reinterpret_cast<POINT*>(&cr), 2);
    EXPECT_EQ(cr.left, c.rect.left);
    EXPECT_EQ(cr.top, c.rect.top);
    EXPECT_EQ(cr.right, c.rect.right);
    EXPECT_EQ(cr.bottom, c.rect.bottom);
    if (!c.fangSong) continue;
    LOGFONTW lf{};
    ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(c.control, WM_GETFONT, 0, 0)), sizeof lf, &lf), 0);
    EXPECT_EQ(lf.lfHeight, -19);
    EXPECT_EQ(lf.lfWeight, 400);
    EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
    EXPECT_EQ(std::wstring(lf.lfFaceName), L"仿宋");
  }
  EXPECT_EQ(Text(captcha.按钮1), L"确定");
  EXPECT_EQ(Text(captcha.编辑框_验证码), L"");
  EXPECT_TRUE(GetWindowLongW(captcha.编辑框_验证码, GWL_STYLE) & ES_CENTER);
  EXPECT_TRUE(captcha.picture.empty());
  DestroyWindow(captcha.window);
  EXPECT_EQ(captcha.window, nullptr);
}

}  // namespace
