#include "cli/command.h"

int main(int argc, char** argv) { return RunCommand(std::vector<std::string>(argv + 1, argv + argc)); }
