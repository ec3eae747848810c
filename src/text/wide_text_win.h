// UTF-8 to and from the UTF-16 that Windows' wide functions take.
#pragma once

#include <string>
#include <string_view>

#include "text/codepage.h"

inline std::wstring WideText(std::string_view utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

inline std::string Utf8Text(std::wstring_view wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
