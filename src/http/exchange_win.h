// The one HTTP exchange through wininet that HttpFetch and FetchCaptchaImage
// share: open, connect, open the request, send, follow redirects (unless the
// flags ask for none; see http/redirect.h), read the body and the raw header
// block of the last answer, close innermost first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
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

// nullopt when no request could be made; compose is then never called.
std::optional<WireAnswer> Exchange(const WireRequest& request,
                                   const std::function<WireContent()>& compose);
