// Body fetches through HttpFetch next to a bare loop of the same wininet
// calls with the same read size, one case per process so that the peak
// memory (read by the calling script) belongs to that case alone.
// Usage: http_bench fetch|bare URL REPEATS
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bare_request_win.h"
#include "http/fetch.h"

namespace {

// The same calls HttpFetch makes, for the host and path of the url.
std::size_t BareFetch(const char* url) {
  URL_COMPONENTSA parts{sizeof parts};
  char host[256], path[2048];
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  InternetCrackUrlA(url, 0, 0, &parts);
  return BareRequest("bench", host, parts.nPort, "GET", path, 0x80000000 | 0x10 | 0x4000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string mode = argv[1];
  const char* url = argv[2];
  const int repeats = std::atoi(argv[3]);
  // "both" alternates the two so that the loopback's ups and downs hit them alike.
  const bool fetch = mode == "fetch" || mode == "both";
  const bool bare = mode == "bare" || mode == "both";
  double fetchSeconds = 0, bareSeconds = 0;
  std::size_t bytes = 0;
  for (int i = 0; i < repeats; ++i) {
    if (fetch) {
      const auto start = std::chrono::steady_clock::now();
      bytes = HttpFetch(url).size();
      fetchSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    if (bare) {
      const auto start = std::chrono::steady_clock::now();
      bytes = BareFetch(url);
      bareSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
  }
  const double total = static_cast<double>(bytes) * repeats / 1e6;
  if (fetch) std::printf("fetch %zu %.4f %.2f\n", bytes, fetchSeconds / repeats, total / fetchSeconds);
  if (bare) std::printf("bare %zu %.4f %.2f\n", bytes, bareSeconds / repeats, total / bareSeconds);
  return 0;
}
