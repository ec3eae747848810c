// How a request looks on the wire: agent, header text, flags and proxy, and
// how the raw answer headers are read back. Plain functions, shared by
// HttpFetch and FetchCaptchaImage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "http/cookies.h"
#include "text/text.h"

inline constexpr std::string_view kDefaultAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
inline constexpr int kReadChunk = 1024;
// The raw header block must fit this buffer, with its terminating zero.
inline constexpr int kRawHeaderBuffer = 5000;
// A body the program reads for itself (a page, an answer, a captcha image) is
// never near this; past it the answer is hostile or broken, and reading on
// would only exhaust memory.
inline constexpr std::size_t kMaxBodyBytes = std::size_t{64} << 20;

namespace request_flag {
inline constexpr std::uint32_t kReload = 0x80000000;
inline constexpr std::uint32_t kNeedFile = 0x10;
inline constexpr std::uint32_t kNoCookies = 0x80000;
inline constexpr std::uint32_t kNoAutoRedirect = 0x200000;
inline constexpr std::uint32_t kSecure = 0x800000;
inline constexpr std::uint32_t kIgnoreRedirectToHttps = 0x4000;
}  // namespace request_flag

// A link counts as https when its first five characters, lower-cased, are "https".
bool IsHttpsLink(std::string_view url);

// The agent named by a "User-Agent:" line of the caller's header text, or the default.
Text AgentFor(std::string_view extraHeaders);

// Appends the default lines the caller's text lacks, then the cookie line.
void CompleteHeaderText(Text& headers, std::string_view cookieJar);

std::uint32_t RequestFlags(bool platformCookiesOff, bool noRedirect, bool https);

// What the platform is given as the proxy: "http=" + proxy for plain links.
Text ProxyArgument(std::string_view proxy, bool https);

// The raw header block a query left in `buffer` (the text up to its first
// zero), with every letter-case variant of the Set-Cookie name made
// "Set-Cookie"; kRawHeaderBuffer spaces when that zero does not lie within the
// first kRawHeaderBuffer bytes, that is when the block and its terminating
// zero do not fit the buffer. The buffer may be larger than kRawHeaderBuffer.
Text ReadRawHeaders(std::string_view buffer);
