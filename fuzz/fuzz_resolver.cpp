// The resolver's whole flow with a platform whose answers come from the fuzzer:
// probe headers, the share page and a run of download answers, captcha
// demands included.
#include "fuzz_input.h"
#include "resolver/origin.h"
#include "resolver/resolve.h"
#include "resolver/scripted_platform.h"
#include "text/markers.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto p = Parts(data, size, 8);
  ScriptedPlatform platform;
  ResolverState state;
  const std::string origin(ServiceOrigin);
  const std::string shortLink = origin + "/s/" + p[0];
  const std::string longLink = TrimText(TextBetween(p[1], "Location:", "\r\n"));
  platform.answers[shortLink] = {{p[2], p[1], p[3]}};
  platform.answers[longLink] = {{p[2], "", p[3]}};
  // Every download address the page can lead to answers from the same run.
  platform.fallback = {{p[4], "", p[5]}, {p[6], "", ""}, {p[7], "", ""}};
  int attempts = 0;
  platform.onCaptchaWindow = [&] {
    platform.answerBox = p[0];
    ResubmitWithCaptcha(state, platform);
  };
  platform.duringWait = [&] {
    if (++attempts >= 3) platform.windowOpen = false;  // the user gives up
  };
  Text link = shortLink;
  const Text result = ResolveShareLink(link, p[0], state, platform);
  FUZZ_CHECK(result == state.dlink);
  FUZZ_CHECK(FindText(result, "\\") == -1);  // none left at a character start
  for (const Text& pair : SplitText(state.cookieJar, "; ")) FUZZ_CHECK(RemoveAllSpaces(pair) == pair);
  return 0;
}
