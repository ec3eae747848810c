// Share file names, whatever the bytes: the result is always a plain name in one folder.
#include <string>
#include <string_view>

#include "cli/file_name.h"
#include "fuzz_input.h"

namespace {

bool ValidUtf8(std::string_view s) {
  for (std::size_t at = 0; at < s.size();) {
    const auto lead = static_cast<unsigned char>(s[at]);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    if (length == 0 || at + length > s.size()) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto b = static_cast<unsigned char>(s[at + i]);
      if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) return false;
    }
    at += length;
  }
  return true;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  return out;
}

// Windows' device names, checked independently of the code under test.
bool Reserved(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  const std::string upper = Upper(base);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL") return true;
  if ((upper.starts_with("COM") || upper.starts_with("LPT")) && upper.size() == 4 && upper[3] >= '0' &&
      upper[3] <= '9') {
    return true;
  }
  return upper.size() == 5 && (upper.starts_with("COM") || upper.starts_with("LPT")) &&
         (upper.substr(3) == "\xC2\xB9" || upper.substr(3) == "\xC2\xB2" || upper.substr(3) == "\xC2\xB3");
}

void CheckPlainName(const std::string& name, std::size_t limit) {
  FUZZ_CHECK(!name.empty());
  FUZZ_CHECK(name.size() <= limit);
  FUZZ_CHECK(ValidUtf8(name));
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    FUZZ_CHECK(u >= 0x20 && u != 0x7F);
    FUZZ_CHECK(std::string_view("/\\<>:\"|?*").find(c) == std::string_view::npos);
  }
  FUZZ_CHECK(name != "." && name != "..");
  FUZZ_CHECK(name.back() != '.' && name.back() != ' ');
  FUZZ_CHECK(!Reserved(name));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view given(reinterpret_cast<const char*>(data), size);
  const std::string safe = SafeFileName(given);
  CheckPlainName(safe, kMaxFileNameBytes);
  FUZZ_CHECK(SafeFileName(safe) == safe);
  // With room for ".part", and numbered beside an existing file.
  const std::string shorter = SafeFileName(given, kMaxFileNameBytes - 5);
  CheckPlainName(shorter, kMaxFileNameBytes - 5);
  CheckPlainName(NumberedFileName(shorter, static_cast<int>(size % 1000) + 1, kMaxFileNameBytes - 5),
                 kMaxFileNameBytes - 5);
  return 0;
}
