// Binds a function that does not exist: the process must end with an error
// box naming it, and never reach the line after.
#include <cstdio>

#include "host/bind.h"

int main(int argc, char** argv) {
  const char* library = argc > 1 ? argv[1] : "kernel32.dll";
  const char* function = argc > 2 ? argv[2] : "NoSuchFunctionAnywhere";
  platform::Bind(library, function);
  std::puts("bound");
  return 0;
}
