#include "app/captcha_window_win.h"

#include "app/callback_guard.h"
#include "app/controls_win.h"
#include "app/bitmap_view_win.h"
#include "http/captcha_image.h"
#include "resolver/resolve.h"

namespace {

constexpr DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr int kPictureWidth = 136;
constexpr int kPictureHeight = 72;

CaptchaWindow* Of(HWND window) {
  return reinterpret_cast<CaptchaWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

void PaintPicture(HWND picture, const CaptchaWindow& captcha) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(picture, &ps);
  RECT box;
  GetClientRect(picture, &box);
  FillRect(dc, &box, GetSysColorBrush(COLOR_BTNFACE));
  if (const auto view = ViewBitmap(captcha.picture)) DrawFitted(dc, *view, box.right, box.bottom);
  EndPaint(picture, &ps);
}

LRESULT CALLBACK PictureProc(HWND picture, UINT message, WPARAM wParam, LPARAM lParam) {
  CaptchaWindow* captcha = Of(GetParent(picture));
  switch (message) {
    case WM_PAINT:
      if (captcha) {
        PaintPicture(picture, *captcha);
        return 0;
      }
      break;
    case WM_LBUTTONDOWN:
      if (captcha) RefreshCaptchaPicture(*captcha);
      return 0;
  }
  return DefWindowProcW(picture, message, wParam, lParam);
}

void CreateControls(CaptchaWindow& c) {
  HWND w = c.window;
  c.图片框1 = AddControl(w, kCaptchaPictureClass, L"", kChild, 0, 0, 0, kPictureWidth, kPictureHeight,
                         kIdCaptchaPicture);
  c.按钮1 = AddControl(w, L"BUTTON", L"确定", kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 136, 0, 72, 40,
                       kIdCaptchaConfirm);
  c.编辑框_验证码 = AddControl(w, L"EDIT", L"", kChild | WS_TABSTOP | ES_CENTER | ES_AUTOHSCROLL,
                               WS_EX_CLIENTEDGE, 136, 40, 72, 32, kIdCaptchaAnswer);
  c.font = MakeChineseFont(-19, L"仿宋");
  for (HWND control : {c.按钮1, c.编辑框_验证码}) SetControlFont(control, c.font);
}

LRESULT CALLBACK CaptchaWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* captcha = static_cast<CaptchaWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    captcha->window = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(captcha));
  }
  CaptchaWindow* captcha = Of(window);
  if (!captcha) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case WM_CREATE:
      CreateControls(*captcha);
      RefreshCaptchaPicture(*captcha);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wParam) == kIdCaptchaConfirm && HIWORD(wParam) == BN_CLICKED) {
        GuardCallback([&] { ResubmitWithCaptcha(captcha->state, captcha->platform); },
                      // As when the download request fails: no link, and the window goes.
                      [&] {
                        captcha->state.dlink.clear();
                        PostMessageW(window, WM_CLOSE, 0, 0);
                      });
        return 0;
      }
      break;
    case WM_DESTROY:
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      captcha->window = nullptr;
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.hInstance = instance;
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  cls.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  cls.lpfnWndProc = CaptchaWindowProc;
  cls.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
  cls.lpszClassName = kCaptchaWindowClass;
  RegisterClassExW(&cls);  // fails harmlessly when already registered
  cls.lpfnWndProc = PictureProc;
  cls.hIcon = nullptr;
  cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND));
  cls.lpszClassName = kCaptchaPictureClass;
  RegisterClassExW(&cls);
}

}  // namespace

bool CreateCaptchaWindow(CaptchaWindow& captcha, HINSTANCE instance) {
  RegisterClasses(instance);
  const POINT at = CentredOnScreen(kCaptchaWidth, kCaptchaHeight);
  return CreateWindowExW(WS_EX_DLGMODALFRAME, kCaptchaWindowClass, L"验证码", kFrameStyle, at.x, at.y,
                         kCaptchaWidth, kCaptchaHeight, nullptr, nullptr, instance, &captcha) != nullptr;
}

void RunCaptchaWindow(CaptchaWindow& captcha, HINSTANCE instance, HWND disabled) {
  if (disabled) EnableWindow(disabled, FALSE);
  if (CreateCaptchaWindow(captcha, instance)) {
    ShowWindow(captcha.window, SW_SHOWNORMAL);
    SetFocus(captcha.编辑框_验证码);
  }
  MSG message;
  while (captcha.window) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(message.wParam));  // the outer loop must see it too
      if (captcha.window) DestroyWindow(captcha.window);
      break;
    }
    if (got < 0) break;
    if (captcha.window && IsDialogMessageW(captcha.window, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (disabled) {
    EnableWindow(disabled, TRUE);
    SetForegroundWindow(disabled);
  }
}

void RefreshCaptchaPicture(CaptchaWindow& captcha) {
  // A fetch that fails in any way leaves the box without a picture.
  GuardCallback([&] { captcha.picture = FetchCaptchaImage(captcha.state.captchaImageUrl); },
                [&] { Bytes().swap(captcha.picture); });
  if (captcha.图片框1) InvalidateRect(captcha.图片框1, nullptr, TRUE);
}
