#pragma once

#include <string_view>

// The netdisk's web origin, fixed when the program is built (SERVICE_ORIGIN):
// scheme and host, no trailing slash. Every service address starts with it.
inline constexpr std::string_view ServiceOrigin = NETDISK_SERVICE_ORIGIN;
