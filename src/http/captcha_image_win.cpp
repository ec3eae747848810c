#include "http/captcha_image.h"

#include "host/transcode.h"
#include "http/exchange.h"
#include "http/request.h"

Bytes FetchCaptchaImage(std::string_view url, const CaptchaImageOptions& options) {
  WireRequest request;
  request.url = url;
  request.agent = AgentFor("");
  request.proxy = &options.proxy;
  request.flags = RequestFlags(false, options.noRedirect, IsHttpsLink(url));

  Text headers;
  auto answer = Exchange(request, [&] {
    CompleteHeaderText(headers, "");
    return WireContent{&headers, nullptr};
  });
  if (!answer) return {};
  if (options.returnedCookies) *options.returnedCookies = CollectSetCookies(answer->rawHeaders);

  Bytes bitmap;
  TranscodeImage(answer->body, Bmp, {}, &bitmap);
  return bitmap;
}
