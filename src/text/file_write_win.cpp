#include <windows.h>

#include <algorithm>
#include <memory>
#include <string>

#include "text/codepage.h"
#include "text/text.h"

namespace {

struct CloseFile {
  void operator()(HANDLE file) const { CloseHandle(file); }
};
// The file is closed exactly once, on every path.
using OwnedFile = std::unique_ptr<void, CloseFile>;

// The file created (or emptied) for writing, or an empty owner.
OwnedFile OpenForWriting(const std::u16string& name) {
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(name.c_str()), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  return OwnedFile(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

bool WriteBytesToFileParts(std::string_view path, std::initializer_list<const Bytes*> parts) {
  if (path.empty()) return false;
  // The name is code page 936: the wide API keeps Chinese names intact on any locale.
  const std::u16string name = Cp936ToUtf16(path);
  const OwnedFile file = OpenForWriting(name);
  if (!file) return false;
  bool ok = true;
  for (const Bytes* part : parts) {
    std::size_t done = 0;
    while (ok && done < part->size()) {
      DWORD written = 0;
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(part->size() - done, 1u << 30));
      ok = WriteFile(file.get(), part->data() + done, chunk, &written, nullptr) != FALSE;
      done += written;
    }
  }
  return ok;
}
