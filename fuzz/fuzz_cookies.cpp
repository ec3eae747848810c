// Cookie collection and merging on arbitrary header blocks and jars.
#include "fuzz_input.h"
#include "http/cookies.h"
#include "http/request.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto p = Parts(data, size, 3);
  CookieText collected = CollectSetCookies(ReadRawHeaders(p[0]));
  CookieText jar = p[1];
  CookieText fresh = p[2].empty() ? collected : p[2];
  const CookieText copy = MergeCookies(jar, fresh);
  FUZZ_CHECK(copy == jar);
  // No spaces inside pairs, no expired pair, no repeats.
  FUZZ_CHECK(RemoveAllSpaces(fresh) == fresh);
  const TextList items = SplitText(jar, "; ");
  for (std::size_t i = 0; i < items.size(); ++i) {
    FUZZ_CHECK(RemoveAllSpaces(items[i]) == items[i]);
    FUZZ_CHECK(TextRight(items[i], 8) != "=deleted" || FindText(items[i], ";") != -1);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(items[i] != items[j]);
  }
  return 0;
}
