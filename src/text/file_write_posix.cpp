#include <fcntl.h>
#include <unistd.h>

#include "text/codepage.h"
#include "text/text.h"

bool WriteBytesToFileParts(std::string_view path, std::initializer_list<const Bytes*> parts) {
  if (path.empty()) return false;
  // The name is code page 936; file names here are UTF-8.
  const std::string name = Utf16ToUtf8(Cp936ToUtf16(path));
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (const Bytes* part : parts) {
    std::size_t done = 0;
    while (ok && done < part->size()) {
      const ssize_t n = write(fd, part->data() + done, part->size() - done);
      ok = n > 0;
      if (ok) done += static_cast<std::size_t>(n);
    }
  }
  return close(fd) == 0 && ok;
}
