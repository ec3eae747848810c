// The owner of a POSIX file descriptor: closed exactly once, by whoever holds it last.
#pragma once

#include <unistd.h>

#include "host/owned.h"

struct FileDescriptorTraits {
  using Type = int;
  static Type Empty() { return -1; }
  static void Close(Type fd) { ::close(fd); }
};
using OwnedFd = Owned<FileDescriptorTraits>;
