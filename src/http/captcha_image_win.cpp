#include "http/captcha_image.h"

#include "host/image_info.h"
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

  // Only an image whose header states a captcha's size reaches the decoder:
  // a few hundred kB can announce gigabytes of pixels.
  const auto size = ReadImageSize(answer->body);
  if (!size || size->Pixels() > kMaxCaptchaPixels) return {};
  Bytes bitmap;
  TranscodeImage(answer->body, Bmp, {}, &bitmap);
  return bitmap;
}
