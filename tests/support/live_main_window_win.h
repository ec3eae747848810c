// A fixture with the real main window and the real platform behind it, as
// the program sets them up, plus the fake service's log from the test's start.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window_win.h"
#include "app/windows_platform_win.h"
#include "support/fake_service.h"
#include "support/window_driver_win.h"

class LiveMainWindow : public testing::Test {
 protected:
  ResolverState state;
  WindowsPlatform platform{state};
  MainWindow main{state, platform};
  std::size_t logged = 0;

  void SetUp() override {
    ASSERT_TRUE(CreateMainWindow(main, GetModuleHandleW(nullptr)));
    platform.SetMainWindow(main.window);
    ShowWindow(main.window, SW_SHOWNORMAL);
    logged = fake_service::Requests().size();
  }
  void TearDown() override {
    if (main.window) DestroyWindow(main.window);
    PumpFor(20);
  }
  void Type(const std::wstring& link, const std::wstring& code) {
    SetWindowTextW(main.编辑框_网址, link.c_str());
    SetWindowTextW(main.编辑框_提取密码, code.c_str());
  }
  // Types the link and the code, clicks the confirm button and reads the result.
  std::wstring Click(const std::wstring& link, const std::wstring& code) {
    Type(link, code);
    SendMessageW(main.按钮1, BM_CLICK, 0, 0);
    return WindowText(main.编辑框_地址);
  }
  // The requests the service received since the test began.
  std::vector<LoggedRequest> Requests() const { return fake_service::RequestsSince(logged); }
};
