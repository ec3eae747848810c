// The download over libcurl: one easy handle per file, the body written to
// the .part as it arrives, so memory stays the size of curl's read buffer.
#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/download.h"
#include "cli/file_name.h"
#include "host/fd_owned.h"
#include "http/curl_owned.h"
#include "http/redirect.h"

namespace {

// curl reads (and the file is written) in pieces of up to this: few system
// calls for a large file, and the whole of the memory a download holds.
constexpr long kReadBytes = 1L << 20;
// After this many files of the same name, the folder is someone else's business.
constexpr int kMaxNumberedNames = 1000;

CURLcode GlobalInit() {
  static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
  return result;
}

std::string ErrnoText(int error) { return std::strerror(error); }

// The head of the answer being read: the last one of a redirect chain.
struct Head {
  long status = 0;
  std::optional<ContentRange> range;
  std::int64_t unsatisfiedTotal = -1;  // a 416's "bytes */TOTAL"
};

struct Transfer {
  CURL* easy = nullptr;
  std::string partPath;
  std::int64_t offset = 0;  // bytes in the .part when the request went out
  Head head;
  OwnedFd file;           // opened at the answer's first byte (or its end, for an empty file)
  bool started = false;
  bool discard = false;      // a 416's body: no part of the file
  std::int64_t written = 0;  // bytes in the .part now
  std::int64_t total = -1;   // the whole file's bytes, when the answer says
  std::int64_t fetched = 0;
  std::string failure;       // why the transfer was stopped from inside
  ProgressSink* progress = nullptr;
  int id = 0;
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    t.head = Head{};  // a redirect's or an interim answer's lines are not this one's
    return length;
  }
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return length;
  std::string name(line.substr(0, colon));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  if (name == "content-range") {
    t.head.range = ParseContentRange(line.substr(colon + 1));
    t.head.unsatisfiedTotal = UnsatisfiedRangeTotal(line.substr(colon + 1));
  }
  return length;
}

// Decides, at the answer's first byte, what the body is: the rest of the
// .part (206 from its end), or the whole file (200), which starts it over.
bool Start(Transfer& t) {
  t.started = true;
  curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &t.head.status);
  const long status = t.head.status;
  if (status == 416 && t.offset > 0) {
    t.discard = true;  // judged once the answer is over
    return true;
  }
  if (status >= 400 || (status != 200 && status != 206)) {
    t.failure = "the server answered " + std::to_string(status);
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  if (status == 206) {
    if (!t.head.range || t.head.range->first != t.offset) {
      t.failure = "the server sent a range that does not start at byte " + std::to_string(t.offset);
      return false;
    }
    t.total = t.head.range->total;
    flags |= O_APPEND;
    t.written = t.offset;
  } else {
    curl_off_t length = -1;
    curl_easy_getinfo(t.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    t.total = length;
    flags |= O_TRUNC;  // a server that ignores Range sends the whole file again
    t.written = 0;
  }
  t.file.reset(::open(t.partPath.c_str(), flags, 0644));
  if (!t.file) {
    t.failure = "cannot write " + t.partPath + ": " + ErrnoText(errno);
    return false;
  }
  t.progress->Advance(t.id, t.written, t.total);
  return true;
}

// Returning less than was given stops the transfer.
std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& t = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  if (!t.started && !Start(t)) return 0;
  if (t.discard) return length;
  for (std::size_t at = 0; at < length;) {
    const ssize_t n = ::write(t.file.get(), data + at, length - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      t.failure = "cannot write " + t.partPath + ": " + ErrnoText(n < 0 ? errno : ENOSPC);
      return 0;
    }
    at += static_cast<std::size_t>(n);
  }
  t.written += static_cast<std::int64_t>(length);
  t.fetched += static_cast<std::int64_t>(length);
  t.progress->Advance(t.id, t.written, t.total);
  return length;
}

bool SetUp(CURL* easy, const std::string& url, const std::string& agent, char* errorText) {
  bool ok = true;
  auto set = [&](CURLoption option, auto value) { ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK; };
  set(CURLOPT_ERRORBUFFER, errorText);
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

std::string CurlFailureText(CURLcode code, const char* detail) {
  const std::string summary = curl_easy_strerror(code);
  return detail[0] ? summary + ": " + detail : summary;
}

// The server's size of the file from a HEAD request: -1 when it does not say;
// nullopt (and `why`) when the request fails.
std::optional<std::int64_t> ServerSize(CURL* easy, char* errorText, std::string& why) {
  curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
  errorText[0] = '\0';
  const CURLcode code = curl_easy_perform(easy);
  curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  if (code != CURLE_OK) {
    why = "cannot reach the file: " + CurlFailureText(code, errorText);
    return std::nullopt;
  }
  long status = 0;
  curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
  // A server that takes no HEAD leaves the size unknown: the existing file is then kept.
  if (status == 405 || status == 501) return -1;
  if (status >= 400) {
    why = "the server answered " + std::to_string(status);
    return std::nullopt;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  return static_cast<std::int64_t>(length);
}

std::string Joined(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string WhyNotWritable(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "cannot write to " + path + ": " + ErrnoText(errno);
  if (!S_ISDIR(st.st_mode)) return "cannot write to " + path + ": not a folder";
  if (::access(path.c_str(), W_OK | X_OK) != 0) return "cannot write to " + path + ": " + ErrnoText(errno);
  return {};
}

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

}  // namespace

DownloadResult DownloadFile(const std::string& url, const std::string& folder, const std::string& name,
                            const std::string& agent, ProgressSink& progress) {
  DownloadResult result;
  // Room for the .part's suffix: the name and its .part fit the folder's limit alike.
  const std::string safe = SafeFileName(name, kMaxFileNameBytes - kPartSuffix.size());
  const int id = progress.Begin(safe, 0, -1);
  auto fail = [&](std::string why) {
    result.error = std::move(why);
    progress.End(id, false, result.error);
    return result;
  };

  if (std::string why = WhyNotWritable(folder); !why.empty()) return fail(why);
  if (const CURLcode init = GlobalInit(); init != CURLE_OK) {
    return fail(std::string("the internet functions cannot start: ") + curl_easy_strerror(init));
  }
  EasyHandle easy(curl_easy_init());
  char errorText[CURL_ERROR_SIZE] = {};
  if (!easy || !SetUp(easy.get(), url, agent, errorText)) return fail("the download cannot be set up: out of memory");

  // The first name not taken by a file, unless a file of the server's size already has it.
  std::optional<std::int64_t> serverSize;
  std::string path;
  for (int n = 0; path.empty(); ++n) {
    if (n > kMaxNumberedNames) return fail("too many files named like " + Joined(folder, safe));
    const std::string candidate = Joined(folder, n == 0 ? safe : NumberedFileName(safe, n, kMaxFileNameBytes - kPartSuffix.size()));
    struct stat st {};
    if (::stat(candidate.c_str(), &st) != 0) {
      if (errno != ENOENT) return fail("cannot use " + candidate + ": " + ErrnoText(errno));
      path = candidate;
      break;
    }
    if (!serverSize) {
      std::string why;
      serverSize = ServerSize(easy.get(), errorText, why);
      if (!serverSize) return fail(why);
    }
    if (S_ISREG(st.st_mode) && *serverSize >= 0 && st.st_size == *serverSize) {
      result.ok = true;
      result.path = candidate;
      result.size = *serverSize;
      result.outcome = "already there";
      progress.Advance(id, result.size, result.size);
      progress.End(id, true, result.outcome + ": " + candidate);
      return result;
    }
  }

  Transfer t;
  t.easy = easy.get();
  t.partPath = path + std::string(kPartSuffix);
  t.progress = &progress;
  t.id = id;
  bool askedAgain = false;  // a 416 for a .part that is not whole is asked once without its range
  CURLcode code = CURLE_OK;
  for (;;) {
    t.offset = FileSize(t.partPath);
    t.head = Head{};
    t.started = false;
    t.discard = false;
    t.file.reset();
    t.failure.clear();
    const std::string range = std::to_string(t.offset) + "-";
    bool ok = curl_easy_setopt(t.easy, CURLOPT_RANGE, t.offset > 0 ? range.c_str() : nullptr) == CURLE_OK &&
              curl_easy_setopt(t.easy, CURLOPT_HEADERFUNCTION, OnHeader) == CURLE_OK &&
              curl_easy_setopt(t.easy, CURLOPT_HEADERDATA, &t) == CURLE_OK &&
              curl_easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, OnBody) == CURLE_OK &&
              curl_easy_setopt(t.easy, CURLOPT_WRITEDATA, &t) == CURLE_OK;
    if (!ok) return fail("the download cannot be set up: out of memory");
    errorText[0] = '\0';
    code = curl_easy_perform(t.easy);
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status == 416 && t.offset > 0) {
      // The .part may already hold the whole file (a run stopped before its rename).
      if (t.head.unsatisfiedTotal == t.offset) {
        t.total = t.offset;
        t.written = t.offset;
        break;
      }
      if (askedAgain) return fail("the server refuses every range of the file (416)");
      askedAgain = true;
      if (::truncate(t.partPath.c_str(), 0) != 0) return fail("cannot write " + t.partPath + ": " + ErrnoText(errno));
      continue;
    }
    // An empty body never reaches OnBody: the answer is judged here.
    if (code == CURLE_OK && !t.started && !Start(t)) break;
    break;
  }
  result.fetched = t.fetched;
  result.size = t.total;

  const bool keptPart = t.started && t.written > 0;
  const std::string resume = keptPart ? "; " + t.partPath + " is kept: run again to resume" : "";
  if (!t.failure.empty()) {
    result.path = keptPart ? t.partPath : "";
    return fail(t.failure + resume);
  }
  if (code != CURLE_OK) {
    result.path = keptPart ? t.partPath : "";
    const std::string words = CurlFailureText(code, errorText);
    if (!t.started) return fail("cannot download: " + words);
    const std::string of = t.total >= 0 ? " of " + std::to_string(t.total) : "";
    return fail("the connection broke after " + std::to_string(t.written) + of + " bytes (" + words + ")" + resume);
  }
  if (t.file && ::close(t.file.release()) != 0) {
    return fail("cannot write " + t.partPath + ": " + ErrnoText(errno));
  }
  if (t.total >= 0 && t.written != t.total) {
    result.path = t.partPath;
    return fail("the file arrived with " + std::to_string(t.written) + " of " + std::to_string(t.total) + " bytes" +
                resume);
  }
  // Never over a file that appeared meanwhile.
  if (::renameat2(AT_FDCWD, t.partPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0) {
    result.path = t.partPath;
    return fail("cannot rename " + t.partPath + " to " + path + ": " + ErrnoText(errno));
  }
  result.ok = true;
  result.path = path;
  result.size = t.written;
  result.outcome = t.offset > 0 && t.head.status == 206 ? "resumed and saved" : "saved";
  progress.End(id, true, result.outcome + ": " + path);
  return result;
}
