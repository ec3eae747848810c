#include "http/exchange.h"
#include "http/fetch.h"
#include "http/request.h"

Bytes HttpFetch(std::string_view url, const HttpRequestOptions& options) {
  // Not-given outputs still need somewhere to go.
  Text localHeaders;
  Bytes localPostBytes;
  Text& extraHeaders = options.extraHeaders ? *options.extraHeaders : localHeaders;
  Bytes& postBytes = options.postBytes ? *options.postBytes : localPostBytes;
  const bool sendsBody = options.method != 0;

  WireRequest request;
  request.url = url;
  request.post = options.method == 1;
  request.agent = AgentFor(extraHeaders);
  request.proxy = &options.proxy;
  request.flags = RequestFlags(options.cookieJar != nullptr, options.noRedirect, IsHttpsLink(url));

  auto answer = Exchange(request, [&] {
    CompleteHeaderText(extraHeaders, options.cookieJar ? *options.cookieJar : Text());
    if (sendsBody && postBytes.empty()) postBytes = TextToBytes(options.postText);
    return WireContent{&extraHeaders, sendsBody ? &postBytes : nullptr};
  }, options.failure);
  if (!answer) return {};

  if (options.rawHeaders) *options.rawHeaders = answer->rawHeaders;
  CookieText returned = CollectSetCookies(answer->rawHeaders);
  if (options.cookieJar) MergeCookies(*options.cookieJar, returned);
  if (options.returnedCookies) *options.returnedCookies = returned;
  return std::move(answer->body);
}
