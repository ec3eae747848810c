#include "http/redirect.h"

#include <vector>

#include "http/request.h"
#include "http/url.h"

namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The scheme a Location value names, lower-cased, or "" when it names none.
Text SchemeOf(std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == ':') return i == 0 ? Text() : ToLower(value.substr(0, i));
    const bool schemeChar = IsLetter(c) || (i > 0 && (IsDigit(c) || c == '+' || c == '-' || c == '.'));
    if (!schemeChar) return {};
  }
  return {};
}

// "." and ".." segments of a path that starts with "/" resolved; ".." never
// climbs above the root. "/", "?" and "#" lie below the second bytes of code
// page 936 (0x40 and up), so a well-formed path is cut at plain bytes.
Text RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> kept;
  bool endsInSlash = false;
  std::string_view rest = path.substr(1);
  for (;;) {
    const std::size_t slash = rest.find('/');
    const std::string_view segment = rest.substr(0, slash);
    const bool last = slash == std::string_view::npos;
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      endsInSlash = last;
    } else if (segment == ".") {
      endsInSlash = last;
    } else {
      kept.push_back(segment);
      endsInSlash = false;
    }
    if (last) break;
    rest.remove_prefix(slash + 1);
  }
  Text out;
  for (const std::string_view segment : kept) {
    out += '/';
    out += segment;
  }
  if (endsInSlash || out.empty()) out += '/';
  return out;
}

}  // namespace

bool IsRedirectStatus(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::optional<Hop> NextHop(const Hop& current, int status, std::string_view location) {
  if (!IsRedirectStatus(status)) return std::nullopt;
  Text target = RedirectTarget(current.url, location);
  if (target.empty()) return std::nullopt;
  // Leaving TLS would hand the cookie line (and a repeated body) to anyone on
  // the path; the platform's own redirect handling declines this too.
  if (IsHttpsLink(current.url) && !IsHttpsLink(target)) return std::nullopt;
  const bool sameMethod = status == 307 || status == 308;
  return Hop{std::move(target), sameMethod && current.post, sameMethod && current.body};
}

Text RedirectTarget(std::string_view base, std::string_view location) {
  const Text value = TrimText(location);
  if (value.empty()) return {};
  const Text scheme = SchemeOf(value);
  if (!scheme.empty()) return scheme == "http" || scheme == "https" ? value : Text();

  const std::string_view schemePart = IsHttpsLink(base) ? "https:" : "http:";
  if (value.compare(0, 2, "//") == 0) return ConcatText(schemePart, value);

  const Text origin = ConcatText(schemePart, "//", UrlHost(base, true));
  const Text basePath = UrlPath(base);  // what was requested; always starts with "/"
  const std::string_view requested(basePath);
  const std::string_view v(value);
  if (v[0] == '#') return ConcatText(origin, requested.substr(0, requested.find('#')), v);
  const std::string_view path = requested.substr(0, requested.find_first_of("?#"));
  if (v[0] == '?') return ConcatText(origin, path, v);

  const std::size_t tailAt = v.find_first_of("?#");
  const std::string_view tail = tailAt == std::string_view::npos ? "" : v.substr(tailAt);
  const std::string_view own = v.substr(0, tailAt);
  const Text merged = v[0] == '/' ? Text(own) : ConcatText(path.substr(0, path.rfind('/') + 1), own);
  return ConcatText(origin, RemoveDotSegments(merged), tail);
}
