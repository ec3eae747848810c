#include "http/url.h"

#include <gtest/gtest.h>

namespace {

TEST(UrlParts, Table) {
  const struct {
    const char* url;
    const char* host;
    const char* hostWithPort;
    int port;
    const char* path;
  } cases[] = {
      {"HTTP://Pan.Example.COM/S/AbC?x=Y", "pan.example.com", "pan.example.com", 80, "/S/AbC?x=Y"},
      {"http://Web.Example:8080/P?Q", "web.example", "web.example:8080", 8080, "/P?Q"},
      {"https://Web.Example/P", "web.example", "web.example", 443, "/P"},
      // The default port is read from the lower-cased scheme.
      {"HTTPS://Web.Example/P", "web.example", "web.example", 443, "/P"},
      {"HtTpS://web.example:8443/a#f", "web.example", "web.example:8443", 8443, "/a#f"},
      {"http://Web.Example/P", "web.example", "web.example", 80, "/P"},
      {"h.example/p", "h.example", "h.example", 80, "/p"},
      {"bare.host", "bare.host", "bare.host", 80, "/"},
      {"", "", "", 80, "/"},
      {"http://h.example", "h.example", "h.example", 80, "/"},
      // Without a "/" after the host, everything after the scheme is the host.
      {"http://h.example?q=1", "h.example?q=1", "h.example?q=1", 80, "/"},
      {"h?q=1", "h?q=1", "h?q=1", 80, "/"},
      // A scheme-less link is read from a later "http://"...
      {"go?to=http://inner.example/x", "inner.example", "inner.example", 80, "/x"},
      // ...but a later "https://" is no scheme: its colon reads as an empty port.
      {"go?to=https://x.example/y", "go?to=https", "go?to=https:", 0, "//x.example/y"},
      // An https link is not read from a later "http://".
      {"https://a.example/?r=http://b.example/", "a.example", "a.example", 443,
       "/?r=http://b.example/"},
      {"http://w.example:x/p", "w.example", "w.example:x", 0, "/p"},
      {"http://w.example:8o/p", "w.example", "w.example:8o", 8, "/p"},
      {"http://w.example:/p", "w.example", "w.example:", 0, "/p"},
      // The host ends at the first colon, the port starts after the last.
      {"http://w.example:1:2/p", "w.example", "w.example:1:2", 2, "/p"},
      // The path search starts where the host's text first occurs: here inside the scheme.
      {"http://ttp/a/b", "ttp", "ttp", 80, "//ttp/a/b"},
      {"http://H/P", "h", "h", 80, "//H/P"},
      {"https://H/P", "h", "h", 443, "//H/P"},
      {"http://H:8080/P?Q", "h", "h:8080", 8080, "//H:8080/P?Q"},
      {"http://http/x", "http", "http", 80, "//http/x"},
      // Double-byte characters: a "/" after a lead byte is its second byte, not
      // a separator, and a second byte keeps its letter case.
      {"http://h\xB0/x", "h\xB0/x", "h\xB0/x", 80, "/"},
      {"http://\xB0Q.Example/p", "\xB0Q.example", "\xB0Q.example", 80, "/p"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
    EXPECT_EQ(UrlHost(c.url, true), c.hostWithPort) << c.url;
    EXPECT_EQ(UrlPort(c.url), c.port) << c.url;
    EXPECT_EQ(UrlPath(c.url), c.path) << c.url;
  }
}

}  // namespace
