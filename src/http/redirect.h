// Following redirect answers. The exchange follows them itself rather than
// leaving it to the platform, so that it can stop: a server that keeps
// sending the client round in a circle must not hold the program forever.
#pragma once

#include <optional>
#include <string_view>

#include "text/text.h"

// Redirects followed for one exchange; the answer after the last of them is
// returned as it stands, redirect or not.
inline constexpr int kMaxRedirects = 20;

// One request of an exchange: where it goes, its verb, and whether it
// carries the caller's body.
struct Hop {
  Text url;
  bool post = false;
  bool body = false;
};

bool IsRedirectStatus(int status);

// The request that follows an answer of `status` with the Location value
// `location` to the request `current`, or nullopt when there is none to make:
// not a redirect status, no http(s) target, or a step down from https to
// http. 307 and 308 repeat the method and its body; the other redirects fetch
// the target with a GET.
std::optional<Hop> NextHop(const Hop& current, int status, std::string_view location);

// A Location value made absolute against the link it answered: a full http(s)
// link stands, "//host/..." takes the link's scheme, "/path" its host, "?query"
// its path, and anything else is read relative to the path's last segment.
// Dot segments of the resulting path are resolved. Empty for a value with any
// other scheme, or an empty one.
Text RedirectTarget(std::string_view base, std::string_view location);
