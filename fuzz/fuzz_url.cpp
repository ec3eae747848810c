// URL parts, redirect targets and the request's header text on arbitrary links and lines.
#include "fuzz_input.h"
#include "http/redirect.h"
#include "http/request.h"
#include "http/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto p = Parts(data, size, 3);
  const Text host = UrlHost(p[0]);
  FUZZ_CHECK(host.find(':') == std::string::npos || FindText(host, ":") == -1);
  FUZZ_CHECK(ToLower(host) == host);
  UrlHost(p[0], true);
  UrlPort(p[0]);
  const Text path = UrlPath(p[0]);
  FUZZ_CHECK(!path.empty() && path[0] == '/');
  // A redirect target is an http(s) link or nothing.
  const Text target = RedirectTarget(p[0], p[1]);
  FUZZ_CHECK(target.empty() || ToLower(TextLeft(target, 5)) == "http:" ||
             ToLower(TextLeft(target, 6)) == "https:");
  FUZZ_CHECK(target.find('\0') == std::string::npos);
  Text headers = p[1];
  AgentFor(headers);
  CompleteHeaderText(headers, p[2]);
  FUZZ_CHECK(FindText(headers, "Accept-Language:") != -1);
  FUZZ_CHECK(FindText(headers, "Content-Type:") != -1);
  return 0;
}
