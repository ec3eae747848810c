// File names for what a share holds: the share's own name made into a plain
// name in one folder, safe to create on Linux and on Windows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The longest name most file systems take (ext4, NTFS count bytes or units; 255 bytes fits both).
inline constexpr std::size_t kMaxFileNameBytes = 255;
// An extension up to this long survives the cut of a long name; a longer "extension" is just text.
inline constexpr std::size_t kMaxKeptExtensionBytes = 16;
// A limit below this could not hold the fallback name and an extension.
inline constexpr std::size_t kMinFileNameBytes = 32;
// The name of a file whose share gave none that is left after cleaning.
inline constexpr std::string_view kFallbackFileName = "download";

// `utf8Name` (already URL-decoded) as a name that is valid UTF-8, at most
// kMaxFileNameBytes bytes, never empty, "." or "..", holds no path separator,
// control character or any of <>:"|?*, is no Windows device name (CON, PRN,
// AUX, NUL, COM0-9, LPT0-9, with or without an extension) and does not end in a
// dot or a space. Applying it to its own result changes nothing. `maxBytes`
// leaves room for a suffix such as ".part" (at least kMinFileNameBytes).
std::string SafeFileName(std::string_view utf8Name, std::size_t maxBytes = kMaxFileNameBytes);

// The name a second file of the same name gets: " (n)" before the extension
// ("report.pdf", 2 -> "report (2).pdf"), still a safe name.
std::string NumberedFileName(std::string_view safeName, int n, std::size_t maxBytes = kMaxFileNameBytes);
