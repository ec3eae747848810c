// HttpFetch: one complete, synchronous HTTP exchange with the system's agent,
// default header lines and flags, and the caller's own cookie jar.
#pragma once

#include <optional>
#include <string>

#include "http/cookies.h"
#include "text/text.h"

// Pointers are the caller's own variables (null: not given); the exchange
// writes them in place, and only once the request exists.
struct HttpRequestOptions {
  int method = 0;            // 1: POST; any value but 0 sends a body
  Text postText;             // the body when postBytes is empty
  CookieText* cookieJar = nullptr;        // in/out: sent, then merged with the answer's cookies
  CookieText* returnedCookies = nullptr;  // out: the cookies this answer sets
  Text* extraHeaders = nullptr;           // in/out: the caller's lines, completed with the defaults
  Text* rawHeaders = nullptr;             // out: status line and header lines
  bool noRedirect = false;
  Bytes* postBytes = nullptr;             // in/out: the body; filled from postText when empty
  std::optional<Text> proxy;              // host:port
  std::string* failure = nullptr;         // out: why the exchange failed, "" when it did not
};

// The answer's body; empty when no request could be made (and then every
// caller variable keeps its value), or when the body was empty.
Bytes HttpFetch(std::string_view url, const HttpRequestOptions& options = {});
