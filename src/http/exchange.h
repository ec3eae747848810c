// The one HTTP exchange that HttpFetch and FetchCaptchaImage share: open,
// connect, open the request, send, follow redirects (unless the flags ask for
// none; see http/redirect.h), read the body and the raw header block of the
// last answer, close innermost first. One implementation per platform:
// wininet on Windows (exchange_win.cpp), libcurl elsewhere (exchange_curl.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "text/text.h"

struct WireRequest {
  std::string_view url;
  bool post = false;
  Text agent;
  const std::optional<Text>* proxy = nullptr;  // given when it holds a value
  std::uint32_t flags = 0;
};

// What goes out once the request exists.
struct WireContent {
  const Text* headers = nullptr;
  const Bytes* body = nullptr;  // null: no body
};

struct WireAnswer {
  Bytes body;
  Text rawHeaders;  // Set-Cookie names unified; 5000 spaces when the block did not fit
};

// nullopt when no request could be made (compose is then never called), or
// when the answer's body grew past kMaxBodyBytes. `failure`, when given,
// takes why the exchange failed in the platform's own words (nothing could be
// opened, the connection was refused or broke, the body was too large), or ""
// when it did not.
std::optional<WireAnswer> Exchange(const WireRequest& request,
                                   const std::function<WireContent()>& compose,
                                   std::string* failure = nullptr);
