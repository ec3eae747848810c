// netdisk-link-cli: share texts in, direct links out. The same on Linux and
// as a Windows console program; only the exchange and the captcha asker differ.
#pragma once

#include <string>
#include <vector>

// Exit statuses.
inline constexpr int kAllResolved = 0;
inline constexpr int kSomeFailed = 1;
inline constexpr int kUsageError = 2;  // also: an input with no share in it

// `args` are the command's arguments after the program name, in UTF-8.
int RunCommand(const std::vector<std::string>& args);
