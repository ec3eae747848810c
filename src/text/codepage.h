// Conversions between code page 936 and Unicode, whatever the system's locale.
// One interface; codepage_win.cpp uses the platform's converter with code page
// 936 named explicitly, codepage_posix.cpp uses iconv's CP936.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

// Characters code page 936 lacks become "?".
Text Utf16ToCp936(std::u16string_view text);
// Invalid double-byte sequences become the replacement character.
std::u16string Cp936ToUtf16(std::string_view text);

// Portable UTF-8 decoding; every invalid or truncated sequence is one U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
