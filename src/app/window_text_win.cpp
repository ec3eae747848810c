#include "app/window_text_win.h"

#include "text/codepage.h"

Text ReadWindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(length) + 1, u'\0');
  const int got = GetWindowTextW(window, reinterpret_cast<wchar_t*>(wide.data()), length + 1);
  wide.resize(static_cast<std::size_t>(got > 0 ? got : 0));
  return Utf16ToCp936(wide);
}

void WriteWindowText(HWND window, std::string_view text) {
  const std::u16string wide = Cp936ToUtf16(text);
  SetWindowTextW(window, reinterpret_cast<const wchar_t*>(wide.c_str()));
}
