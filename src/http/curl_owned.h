// The owners of libcurl's handle kinds, and the time limits every transfer
// of this system sets: curl has none of its own, so a stalled server would
// hold a thread for ever (wininet's defaults bound it on Windows).
#pragma once

#include <curl/curl.h>

#include "host/owned.h"

struct CurlEasyTraits {
  using Type = CURL*;
  static Type Empty() { return nullptr; }
  static void Close(Type h) { curl_easy_cleanup(h); }
};
using EasyHandle = Owned<CurlEasyTraits>;

struct CurlHeaderListTraits {
  using Type = curl_slist*;
  static Type Empty() { return nullptr; }
  static void Close(Type list) { curl_slist_free_all(list); }
};
using HeaderList = Owned<CurlHeaderListTraits>;

struct CurlUrlTraits {
  using Type = CURLU*;
  static Type Empty() { return nullptr; }
  static void Close(Type url) { curl_url_cleanup(url); }
};
using UrlHandle = Owned<CurlUrlTraits>;

// Seconds a connection may take to open.
inline constexpr long kConnectSeconds = 60;
// An answer that delivers less than a byte a second for this long is dead.
inline constexpr long kStalledSeconds = 60;
