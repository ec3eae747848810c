#include "app/controls_win.h"

HWND AddControl(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int x,
                int y, int w, int h, int id) {
  return CreateWindowExW(exStyle, cls, text, style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)),
                         nullptr);
}

void SetControlFont(HWND control, const GdiObject& font) {
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
}
