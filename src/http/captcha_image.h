// The captcha image the service names, fetched and handed back as a BMP.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "http/cookies.h"
#include "text/text.h"

struct CaptchaImageOptions {
  CookieText* returnedCookies = nullptr;  // out: the cookies the image answer sets
  bool noRedirect = false;
  std::optional<Text> proxy;
};

// A captcha is about 100 x 40 pixels; an image whose header claims more than
// this is refused before a pixel of it is decoded.
inline constexpr std::uint64_t kMaxCaptchaPixels = std::uint64_t{4096} * 4096;

// The image as BMP bytes; empty when no request could be made, when the body
// was empty, when it was no image in a format whose size can be read from its
// header (PNG, JPEG, GIF, BMP, TIFF), or when that size is over kMaxCaptchaPixels. A GET with the default headers and no
// cookie jar: the resolver's cookies never go with it.
Bytes FetchCaptchaImage(std::string_view url, const CaptchaImageOptions& options = {});
