// UTF-8 text out to a standard stream, readable whatever the console.
#pragma once

#include <cstdio>
#include <string_view>

// Writes `text` (UTF-8) and flushes. On a Windows console it goes out as
// UTF-16, which every Windows console shows whatever its code page (UTF-8
// bytes are shown right only by recent consoles, and Windows 7's miscounts
// them); everywhere else as the bytes.
void WriteText(std::FILE* stream, std::string_view text);
