#include "cli/console_write.h"

#include <io.h>
#include <windows.h>

#include <algorithm>

#include "text/codepage.h"

void WriteText(std::FILE* stream, std::string_view text) {
  std::fflush(stream);  // what the stream holds goes first
  const auto console = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleMode(console, &mode)) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return;
  }
  const std::u16string wide = Utf8ToUtf16(text);
  for (std::size_t at = 0; at < wide.size();) {
    DWORD written = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(wide.size() - at, 1 << 14));
    if (!WriteConsoleW(console, wide.data() + at, chunk, &written, nullptr) || written == 0) return;
    at += written;
  }
}
