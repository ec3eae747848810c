#include <iconv.h>

#include <cerrno>

#include "text/codepage.h"

namespace {

// One iconv descriptor per call; the toolkit keeps no state between calls.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts as much as it can; returns false at an unconvertible or bad input unit.
  bool Convert(char*& in, std::size_t& inLeft, std::string& out) {
    char buffer[4096];
    while (inLeft > 0) {
      char* dst = buffer;
      std::size_t room = sizeof buffer;
      const std::size_t r = iconv(cd_, &in, &inLeft, &dst, &room);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
    }
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

Text Utf16ToCp936(std::u16string_view text) {
  Converter cv("CP936", "UTF-16LE");
  if (!cv.ok()) return {};
  std::u16string copy(text);
  char* in = reinterpret_cast<char*>(copy.data());
  std::size_t left = copy.size() * 2;
  Text out;
  while (!cv.Convert(in, left, out)) {
    // A character the code page lacks (or a lone surrogate) becomes "?".
    out.push_back('?');
    const bool pair = left >= 4 && (static_cast<unsigned char>(in[1]) & 0xFC) == 0xD8;
    const std::size_t skip = pair ? 4 : 2;
    in += skip;
    left -= skip;
  }
  return out.substr(0, out.find('\0'));
}

std::u16string Cp936ToUtf16(std::string_view text) {
  Converter cv("UTF-16LE", "CP936");
  if (!cv.ok()) return {};
  std::string copy(text);
  char* in = copy.data();
  std::size_t left = copy.size();
  std::string bytes;
  while (!cv.Convert(in, left, bytes)) {
    bytes.append("\xFD\xFF", 2);  // U+FFFD for the bad unit
    const std::size_t skip = (static_cast<unsigned char>(*in) >= 0x80 && left >= 2) ? 2 : 1;
    in += skip;
    left -= skip;
  }
  std::u16string out(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}
