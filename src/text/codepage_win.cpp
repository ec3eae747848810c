#include <windows.h>

#include "text/codepage.h"

namespace {
constexpr UINT kCp936 = 936;  // named explicitly: the system's ANSI code page may differ


// Code page 936 holds nothing outside the basic plane: a surrogate pair is one
// missing character, which the converter would otherwise turn into two.
std::u16string OneUnitPerCharacter(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() &&
                      text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
    out.push_back(pair ? u'?' : text[i]);
    if (pair) ++i;
  }
  return out;
}

}  // namespace

Text Utf16ToCp936(std::u16string_view text) {
  if (text.empty()) return {};
  const std::u16string units16 = OneUnitPerCharacter(text);
  const auto* wide = reinterpret_cast<const wchar_t*>(units16.data());
  const int units = static_cast<int>(units16.size());
  // No best fit: a character the code page lacks becomes "?", not a look-alike.
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(kCp936, flags, wide, units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  Text out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kCp936, flags, wide, units, out.data(), n, nullptr, nullptr);
  return out.substr(0, out.find('\0'));
}

std::u16string Cp936ToUtf16(std::string_view text) {
  if (text.empty()) return {};
  const int bytes = static_cast<int>(text.size());
  const int n = MultiByteToWideChar(kCp936, 0, text.data(), bytes, nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(kCp936, 0, text.data(), bytes, reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}
