#include "app/main_window_win.h"

#include "app/callback_guard.h"
#include "app/controls_win.h"
#include "app/window_text_win.h"
#include "resolver/origin.h"
#include "resolver/resolve.h"
#include "resolver/share_text.h"

namespace {

constexpr DWORD kFrameStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kInputBox = kChild | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr DWORD kResultBox =
    kChild | WS_TABSTOP | WS_VSCROLL | ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;

void CreateControls(MainWindow& m) {
  HWND w = m.window;
  m.标签1 = AddControl(w, L"STATIC", L"地址:", kChild | SS_LEFT, 0, 8, 8, 48, 32, kIdLinkLabel);
  m.编辑框_网址 = AddControl(w, L"EDIT", L"", kInputBox, WS_EX_CLIENTEDGE, 56, 8, 240, 32, kIdLinkBox);
  m.按钮1 = AddControl(w, L"BUTTON", L"确认", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 16, 48, 80, 32,
                       kIdConfirm);
  m.标签2 = AddControl(w, L"STATIC", L"提取密码:", kChild | SS_LEFT, 0, 160, 48, 80, 32, kIdCodeLabel);
  m.编辑框_提取密码 =
      AddControl(w, L"EDIT", L"", kInputBox, WS_EX_CLIENTEDGE, 240, 48, 56, 32, kIdCodeBox);
  m.编辑框_地址 =
      AddControl(w, L"EDIT", L"", kResultBox, WS_EX_CLIENTEDGE, 0, 88, 296, 144, kIdResultBox);

  m.labelFont = MakeChineseFont(-19, L"宋体");
  m.inputFont = MakeChineseFont(-19, L"");
  for (HWND c : {m.标签1, m.按钮1, m.标签2}) SetControlFont(c, m.labelFont);
  for (HWND c : {m.编辑框_网址, m.编辑框_提取密码}) SetControlFont(c, m.inputFont);
  // The result box keeps the window system's default font.

  WriteWindowText(m.编辑框_网址, SampleShareLink());
  WriteWindowText(m.编辑框_提取密码, SampleExtractionCode());
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* main = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    main->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(main));
  }
  auto* main = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!main) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      CreateControls(*main);
      return 0;
    case WM_COMMAND:
      // The button's click, or Enter in one of the input boxes.
      if (LOWORD(wParam) == kIdConfirm && HIWORD(wParam) == BN_CLICKED) {
        OnConfirmClicked(*main);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // Labels on the window's own background.
      SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_DESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      main->window = nullptr;
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// A whole share message pasted into the link box, or a link in another form
// (https, /share/init?surl=…): the first share found in it is resolved, with
// its own code when the code box is empty. Every link the resolver takes as
// it stands is left alone, and text with no share still gets the warning.
void TakePastedShare(Text& link, Text& code) {
  if (IsServiceLink(link)) return;
  const auto shares = FindShares(link);
  if (shares.empty()) return;
  link = shares.front().link;
  if (code.empty()) code = shares.front().code;
}

}  // namespace

Text SampleShareLink() { return ConcatText(ServiceOrigin, "/s/1pKEyzyB"); }
Text SampleExtractionCode() { return "x7kq"; }

bool CreateMainWindow(MainWindow& main, HINSTANCE instance) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = MainWindowProc;
  cls.hInstance = instance;
  cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  cls.lpszClassName = kMainWindowClass;
  RegisterClassExW(&cls);  // fails harmlessly when already registered
  const POINT at = CentredOnScreen(kMainWidth, kMainHeight);
  return CreateWindowExW(0, kMainWindowClass, L"", kFrameStyle, at.x, at.y, kMainWidth, kMainHeight,
                         nullptr, nullptr, instance, &main) != nullptr;
}

void OnConfirmClicked(MainWindow& main) {
  GuardCallback(
      [&] {
        Text link = ReadWindowText(main.编辑框_网址);
        Text code = ReadWindowText(main.编辑框_提取密码);
        TakePastedShare(link, code);
        const Text result = ResolveShareLink(link, code, main.state, main.platform);
        // The link box is never written: a followed short link stays as typed.
        if (main.window) WriteWindowText(main.编辑框_地址, result);
      },
      // As when a request fails: an empty result box.
      [&] {
        if (main.window) SetWindowTextW(main.编辑框_地址, L"");
      });
}
