// Creating a window's child controls.
#pragma once

#include <windows.h>

#include "app/gdi_win.h"

// A child control of `parent` at client position x, y with size w x h; its id is `id`.
HWND AddControl(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, DWORD exStyle, int x,
                int y, int w, int h, int id);

void SetControlFont(HWND control, const GdiObject& font);
