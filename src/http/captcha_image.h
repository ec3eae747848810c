// The captcha image the service names, fetched and handed back as a BMP.
#pragma once

#include <optional>
#include <string_view>

#include "http/cookies.h"
#include "text/text.h"

struct CaptchaImageOptions {
  CookieText* returnedCookies = nullptr;  // out: the cookies the image answer sets
  bool noRedirect = false;
  std::optional<Text> proxy;
};

// The image as BMP bytes; empty when no request could be made, when the body
// was empty or when it was no image. A GET with the default headers and no
// cookie jar: the resolver's cookies never go with it.
Bytes FetchCaptchaImage(std::string_view url, const CaptchaImageOptions& options = {});
