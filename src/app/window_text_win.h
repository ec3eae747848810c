// Texts cross the window boundary as UTF-16, converted from and to code page
// 936 explicitly, so the program behaves the same on a system of any locale.
#pragma once

#include <windows.h>

#include <string_view>

#include "text/text.h"

Text ReadWindowText(HWND window);
void WriteWindowText(HWND window, std::string_view text);
