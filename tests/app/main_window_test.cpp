// The main window as the program creates it, read back from the live window.
#include "app/captcha_window_win.h"
#include "app/main_window_win.h"

#include <gtest/gtest.h>

#include <array>
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

std::array<LONG, 4> Corners(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

// Where a child sits, in its parent's client coordinates.
std::array<LONG, 4> PlaceInParent(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  return Corners(r);
}

void ExpectCentredFrame(HWND w, int width, int height) {
  RECT r;
  GetWindowRect(w, &r);
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  EXPECT_EQ(Corners(r), (std::array<LONG, 4>{left, top, left + width, top + height}));
  const LONG style = GetWindowLongW(w, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
}

// The control's font: 19 pixels, regular, GB2312, the given face.
void ExpectFont(HWND w, const wchar_t* face) {
  LOGFONTW lf{};
  ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(w, WM_GETFONT, 0, 0)), sizeof lf, &lf), 0);
  EXPECT_EQ(lf.lfHeight, -19);
  EXPECT_EQ(lf.lfWeight, 400);
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(std::wstring(lf.lfFaceName), face);
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
  ExpectCentredFrame(main.window, 302, 263);
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
    EXPECT_EQ(PlaceInParent(w), Corners(c.rect)) << ClassOf(w);
    if (c.face) {
      ExpectFont(w, c.face);
    } else {
      EXPECT_EQ(SendMessageW(w, WM_GETFONT, 0, 0), 0);
    }
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

// Memory running out inside a handler ends there, as a failed request does:
// the result box is emptied, the windows live on and the next click works.
TEST_F(MainWindowTest, ExhaustedMemoryEndsAsAFailedRequest) {
  const std::string origin(ServiceOrigin);
  const std::wstring link = std::wstring(origin.begin(), origin.end()) + L"/share/link?shareid=1&uk=2";
  SetWindowTextW(main.编辑框_网址, link.c_str());
  SetWindowTextW(main.编辑框_提取密码, L"");
  SetWindowTextW(main.编辑框_地址, L"stale");
  platform.fallback = {ScriptedAnswer{.exhaustsMemory = true}};
  SendMessageW(main.按钮1, BM_CLICK, 0, 0);
  EXPECT_EQ(Text(main.编辑框_地址), L"");
  ASSERT_TRUE(IsWindow(main.window));

  platform.fallback = {ScriptedAnswer{.body = "{\"errno\":0,\"dlink\":\"http:\\/\\/d\\/f\"}"}};
  SendMessageW(main.按钮1, BM_CLICK, 0, 0);
  EXPECT_EQ(Text(main.编辑框_地址), L"http://d/f");
}

// Text the link check refuses gets a second chance as a pasted share message;
// what the check takes, and text with no share, behave as before.
TEST_F(MainWindowTest, PastedShareMessagesAreResolved) {
  const std::string origin(ServiceOrigin);
  const std::wstring o(origin.begin(), origin.end());
  const std::wstring https = L"https" + o.substr(4);
  const struct {
    std::wstring linkBox;
    std::wstring codeBox;
    std::string fetched;  // the first address asked for, "" when none
    std::string code;     // the code that went to the resolver
    bool warned;
  } cases[] = {
      {L"链接: " + https + L"/s/1AbCd 提取码: x7kq 复制这段内容后打开百度网盘手机App", L"", origin + "/s/1AbCd",
       "x7kq", false},
      {L"链接：" + o + L"/s/1AbCd?pwd=ab12", L"zz99", origin + "/s/1AbCd", "zz99", false},
      {https + L"/share/init?surl=AbCd", L"", origin + "/s/1AbCd", "", false},
      // What the link check takes goes as typed.
      {o + L"/share/init?surl=AbCd", L"", origin + "/share/init?surl=AbCd", "", false},
      {o + L"/s/1AbCd code: x7kq", L"", origin + "/s/1AbCd code: x7kq", "", false},
      {L"no share here", L"ab12", "", "ab12", true},
      {L"https://elsewhere.example/s/1AbCd", L"", "", "", true},
  };
  for (const auto& c : cases) {
    platform.fetches.clear();
    platform.warnings.clear();
    SetWindowTextW(main.编辑框_网址, c.linkBox.c_str());
    SetWindowTextW(main.编辑框_提取密码, c.codeBox.c_str());
    SendMessageW(main.按钮1, BM_CLICK, 0, 0);
    EXPECT_EQ(platform.fetches.empty() ? "" : platform.fetches[0].url, c.fetched);
    EXPECT_EQ(state.extractionCode, c.code);
    EXPECT_EQ(platform.warnings.size(), c.warned ? 1u : 0u);
    EXPECT_EQ(Text(main.编辑框_网址), c.linkBox);  // the box keeps what was typed
  }
}

TEST(CaptchaWindowTest, ExhaustedMemoryOnConfirmClosesItWithoutLink) {
  ScriptedPlatform platform;
  ResolverState state;
  state.dlink = "http://earlier/link";
  platform.fallback = {ScriptedAnswer{.exhaustsMemory = true}};
  CaptchaWindow captcha{state, platform};
  ASSERT_TRUE(CreateCaptchaWindow(captcha, GetModuleHandleW(nullptr)));
  SendMessageW(captcha.按钮1, BM_CLICK, 0, 0);
  MSG m;
  while (captcha.window && PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  EXPECT_EQ(captcha.window, nullptr);
  EXPECT_EQ(state.dlink, "");
}

TEST(CaptchaWindowTest, FrameControlsAndFonts) {
  ScriptedPlatform platform;
  ResolverState state;  // no image address: the first fetch finds nothing to show
  CaptchaWindow captcha{state, platform};
  ASSERT_TRUE(CreateCaptchaWindow(captcha, GetModuleHandleW(nullptr)));
  EXPECT_EQ(Text(captcha.window), L"验证码");
  ExpectCentredFrame(captcha.window, 216, 100);
  EXPECT_EQ(GetWindow(captcha.window, GW_OWNER), nullptr);
  const struct {
    HWND control;
    RECT rect;
    bool fangSong;
  } controls[] = {{captcha.图片框1, {0, 0, 136, 72}, false},
                  {captcha.按钮1, {136, 0, 208, 40}, true},
                  {captcha.编辑框_验证码, {136, 40, 208, 72}, true}};
  for (const auto& c : controls) {
    EXPECT_EQ(GetParent(c.control), captcha.window);
    EXPECT_EQ(PlaceInParent(c.control), Corners(c.rect)) << ClassOf(c.control);
    if (c.fangSong) ExpectFont(c.control, L"仿宋");
  }
  EXPECT_EQ(Text(captcha.按钮1), L"确定");
  EXPECT_EQ(Text(captcha.编辑框_验证码), L"");
  EXPECT_TRUE(GetWindowLongW(captcha.编辑框_验证码, GWL_STYLE) & ES_CENTER);
  EXPECT_TRUE(captcha.picture.empty());
  DestroyWindow(captcha.window);
  EXPECT_EQ(captcha.window, nullptr);
}

}  // namespace
