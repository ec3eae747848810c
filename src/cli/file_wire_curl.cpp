// Requests for a file over libcurl: one easy handle for a download's
// requests, so a HEAD and the GET after it share a connection; the body is
// handed over in pieces of curl's read buffer.
#include <curl/curl.h>

#include "cli/file_wire.h"
#include "http/curl_owned.h"
#include "http/redirect.h"

namespace {

// curl reads (and the file is written) in pieces of up to this: few system
// calls for a large file, and the whole of the memory a download holds.
constexpr long kReadBytes = 1L << 20;

CURLcode GlobalInit() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

std::string FailureText(CURLcode code, const char* detail) {
  const std::string summary = curl_easy_strerror(code);
  return detail[0] ? summary + ": " + detail : summary;
}

// One GET: the head is gathered from the header lines and handed over with
// the body's first byte, or at the end when there is no body.
struct Transfer {
  CURL* easy;
  FileReceiver& receiver;
  FileHead head;
  bool headGiven = false;
  bool stopped = false;  // the receiver said no

  bool GiveHead() {
    headGiven = true;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    head.length = length;
    stopped = !receiver.OnHead(head);
    return !stopped;
  }
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    t.head = FileHead{};  // a redirect's or an interim answer's lines are not this one's
    return length;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return length;
  std::string name(line.substr(0, colon));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (name == "content-range") t.head.contentRange = std::string(line.substr(colon + 1));
  return length;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

// Returning less than was given stops the transfer.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  if (!t.headGiven && !t.GiveHead()) return 0;
  if (!t.receiver.OnBody(data, length)) {
    t.stopped = true;
    return 0;
  }
  return length;
}

class CurlFileWire : public FileWire {
 public:
  explicit CurlFileWire(EasyHandle easy) : easy_(std::move(easy)) {}

  bool SetUp(const std::string& url, const std::string& agent) {
    bool ok = true;
    auto set = [&](CURLoption option, auto value) {
      ok = ok && curl_easy_setopt(easy_.get(), option, value) == CURLE_OK;
    };
    set(CURLOPT_ERRORBUFFER, errorText_);
    set(CURLOPT_NOSIGNAL, 1L);  // downloads run on several threads
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_USERAGENT, agent.c_str());
    set(CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, kStalledSeconds);
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);  // the service hands files out through redirects
    set(CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    set(CURLOPT_PROXY, "");  // as the resolver: the environment's proxy settings stay out
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);  // the file's bytes as they are stored
    set(CURLOPT_BUFFERSIZE, kReadBytes);
    return ok;
  }

  std::optional<FileHead> Head(std::string& why) override {
    CURL* easy = easy_.get();
    curl_easy_setopt(easy, CURLOPT_RANGE, nullptr);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, Discard);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, Discard);
    curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    errorText_[0] = '\0';
    const CURLcode code = curl_easy_perform(easy);
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    if (code != CURLE_OK) {
      why = FailureText(code, errorText_);
      return std::nullopt;
    }
    FileHead head;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &head.status);
    curl_off_t length = -1;
    curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    head.length = length;
    return head;
  }

  bool Get(std::int64_t from, FileReceiver& receiver, std::string& why) override {
    CURL* easy = easy_.get();
    Transfer t{easy, receiver};
    const std::string range = std::to_string(from) + "-";
    const bool ok = curl_easy_setopt(easy, CURLOPT_RANGE, from > 0 ? range.c_str() : nullptr) == CURLE_OK &&
                    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
                    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &t) == CURLE_OK &&
                    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
                    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &t) == CURLE_OK;
    if (!ok) {
      why = "the request cannot be set up: out of memory";
      return false;
    }
    errorText_[0] = '\0';
    const CURLcode code = curl_easy_perform(easy);
    if (t.stopped) return false;
    if (code != CURLE_OK) {
      why = FailureText(code, errorText_);
      return false;
    }
    // An empty body never reached OnBody.
    return t.headGiven || t.GiveHead();
  }

 private:
  EasyHandle easy_;
  char errorText_[CURL_ERROR_SIZE] = {};
};

}  // namespace

std::unique_ptr<FileWire> OpenFileWire(const std::string& url, const std::string& agent, std::string& why) {
  if (const CURLcode init = GlobalInit(); init != CURLE_OK) {
    why = std::string("the internet functions cannot start: ") + curl_easy_strerror(init);
    return nullptr;
  }
  EasyHandle easy(curl_easy_init());
  if (!easy) {
    why = "the download cannot be set up: out of memory";
    return nullptr;
  }
  auto wire = std::make_unique<CurlFileWire>(std::move(easy));
  if (!wire->SetUp(url, agent)) {
    why = "the download cannot be set up: out of memory";
    return nullptr;
  }
  return wire;
}
