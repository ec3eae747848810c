// The Windows console program: arguments and output in UTF-8 whatever the
// console's code page.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/command.h"
#include "text/codepage.h"

int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(Utf16ToUtf8(std::u16string(reinterpret_cast<const char16_t*>(argv[i]))));
  }
  return RunCommand(args);
}
