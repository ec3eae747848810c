#include <windows.h>

#include <algorithm>

#include "text/codepage.h"
#include "text/text.h"

bool WriteBytesToFileParts(std::string_view path, std::initializer_list<const Bytes*> parts) {
  if (path.empty()) return false;
  // The name is code page 936: the wide API keeps Chinese names intact on any locale.
  const std::u16string name = Cp936ToUtf16(path);
  HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, 0,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  for (const Bytes* part : parts) {
    std::size_t done = 0;
    while (ok && done < part->size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(part->size() - done, 1u << 30));
      ok = WriteFile(file, part->data() + done, chunk, &written, nullptr) != FALSE;
      done += written;
    }
  }
  CloseHandle(file);
  return ok;
}
