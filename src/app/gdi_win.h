// Owners and helpers for the GDI objects the windows use.
#pragma once

#include <windows.h>

#include "host/owned.h"

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Empty() { return nullptr; }
  static void Close(Type object) { DeleteObject(object); }
};
using GdiObject = Owned<GdiObjectTraits>;

// A font of the given character height (a negative font height), normal
// weight, GB2312 character set; an empty face lets the window system choose.
GdiObject MakeChineseFont(int height, const wchar_t* face);

// The top-left corner that centres a window of this outer size on the screen.
POINT CentredOnScreen(int width, int height);
