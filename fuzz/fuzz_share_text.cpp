// The share-text parser on arbitrary bytes: whatever is pasted, every share it
// gives is one the resolver takes, with a well-formed code, each link once,
// and each link found again, alone, as itself.
#include <set>
#include <string>

#include "fuzz_input.h"
#include "resolver/origin.h"
#include "resolver/share_text.h"

namespace {

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The whole input is one text; a zero byte is just another byte to the parser.
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto shares = FindShares(text);
  std::set<Text> links;
  for (const ParsedShare& share : shares) {
    FUZZ_CHECK(share.link.starts_with(std::string(ServiceOrigin) + "/s/1") ||
               share.link.starts_with(std::string(ServiceOrigin) + "/share/link?shareid="));
    FUZZ_CHECK(share.code.empty() || share.code.size() == 4);
    for (char c : share.code) FUZZ_CHECK(IsAsciiAlnum(c));
    FUZZ_CHECK(links.insert(share.link).second);
    const auto again = FindShares(share.link);
    FUZZ_CHECK(again.size() == 1 && again[0].link == share.link && again[0].code.empty());
  }
  return 0;
}
