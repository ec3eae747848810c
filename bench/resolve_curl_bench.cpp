// One full resolution through the libcurl exchange (probe, verification,
// page, download, as the command makes them) next to a bare libcurl client
// making the same four requests with nothing else around them, alternately,
// against the fake service. Medians, so a stray pause of the machine does not
// decide the ratio.
// Usage: resolve_curl_bench N ORIGIN   (ORIGIN as the program was built for)
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "cli/batch.h"

namespace {

std::size_t Keep(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One request the way a plain client makes it: the same agent, header lines and body.
void Bare(CURL* easy, const std::string& url, const char* body, const std::string& cookie) {
  std::string answer;
  curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "Accept: */*");
  headers = curl_slist_append(headers, "Accept-Language: zh-cn");
  headers = curl_slist_append(headers, "Content-Type: application/x-www-form-urlencoded");
  if (!cookie.empty()) headers = curl_slist_append(headers, ("Cookie: " + cookie).c_str());
  curl_easy_reset(easy);
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Keep);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, &answer);
  if (body) curl_easy_setopt(easy, CURLOPT_POSTFIELDS, body);
  curl_easy_perform(easy);
  curl_slist_free_all(headers);
}

double Median(std::vector<double> v) {
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int n = std::atoi(argv[1]);
  const std::string origin = argv[2];
  curl_global_init(CURL_GLOBAL_DEFAULT);
  CURL* easy = curl_easy_init();
  std::mutex turn;
  std::vector<double> ours, bare;
  const auto seconds = [](auto start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  for (int i = 0; i < n; ++i) {
    auto start = std::chrono::steady_clock::now();
    const ShareResult r = ResolveOne({origin + "/s/1plain", "ab12"}, nullptr, turn, "no captcha here");
    ours.push_back(seconds(start));
    if (!r.ok()) {
      std::fprintf(stderr, "resolution failed: %s\n", r.error.c_str());
      return 1;
    }
    start = std::chrono::steady_clock::now();
    Bare(easy, origin + "/s/1plain", nullptr, "");
    Bare(easy, origin + "/share/verify?shareid=1001&uk=2001&t=1765400000000&channel=chunlei&clienttype=0&web=1",
         "pwd=ab12&vcode=", "");
    Bare(easy, origin + "/share/link?shareid=1001&uk=2001", nullptr, "");
    Bare(easy, origin + "/share/download?channel=chunlei&clienttype=0&web=1&uk=2001&shareid=1001"
                        "&timestamp=1765400000&sign=s1001sig&bdstoken=null",
         "fid_list=%5B901001%5D", "BAIDUID=B1D2C3:FG=1");
    bare.push_back(seconds(start));
  }
  curl_easy_cleanup(easy);
  const double o = Median(ours), b = Median(bare);
  std::printf("libcurl: full resolution %.2f ms, bare four requests %.2f ms (medians of %d), ratio %.2fx (goal <= 1.1x)\n",
              o * 1000, b * 1000, n, o / b);
  return 0;
}
