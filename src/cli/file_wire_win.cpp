// Requests for a file over wininet. Redirects are followed by wininet itself;
// the body is read in large pieces and handed over as it arrives.
#include <windows.h>
#include <wininet.h>

#include <vector>

#include "cli/file_wire.h"
#include "http/wininet_owned.h"
#include "text/wide_text_win.h"

namespace {

// Each read asks wininet for up to this much: the file's pieces are written as
// they come, so this (and wininet's own buffers) is all a download holds.
constexpr DWORD kReadBytes = DWORD{256} << 10;
// Room for the numeric and range headers read here; a longer value is no file's.
constexpr DWORD kHeaderChars = 128;

// A header's value, "" when absent or too long to be one of ours.
std::string HeaderText(HINTERNET request, DWORD level) {
  wchar_t value[kHeaderChars] = {};
  DWORD size = sizeof value;
  if (!BOUND("wininet.dll", HttpQueryInfoW)(request, level, value, &size, nullptr)) return {};
  value[kHeaderChars - 1] = L'\0';
  return Utf8Text(value);
}

FileHead HeadOf(HINTERNET request) {
  FileHead head;
  DWORD status = 0;
  DWORD size = sizeof status;
  if (BOUND("wininet.dll", HttpQueryInfoW)(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status,
                                           &size, nullptr)) {
    head.status = static_cast<long>(status);
  }
  // As text: a file may pass the four gigabytes a numeric query holds.
  const std::string length = HeaderText(request, HTTP_QUERY_CONTENT_LENGTH);
  char* end = nullptr;
  const long long value = length.empty() ? -1 : std::strtoll(length.c_str(), &end, 10);
  head.length = !length.empty() && end && *end == '\0' && value >= 0 ? value : -1;
  head.contentRange = HeaderText(request, HTTP_QUERY_CONTENT_RANGE);
  return head;
}

// The connection and the request of one exchange; the request is closed first.
struct OpenRequest {
  InternetHandle connection;
  InternetHandle request;
};

class WininetFileWire : public FileWire {
 public:
  WininetFileWire(InternetHandle internet, std::wstring url) : internet_(std::move(internet)), url_(std::move(url)) {}

  ~WininetFileWire() override {
    // Closing a request whose answer is still arriving makes wininet read the
    // rest of it first (for ever, under Wine, if it never ends): the handles
    // of an answer given up midway stay open until the process ends.
    if (abandoned_) internet_.release();
  }

  std::optional<FileHead> Head(std::string& why) override {
    OpenRequest open;
    if (!Send(L"HEAD", 0, open, why)) return std::nullopt;
    return HeadOf(open.request.get());
  }

  bool Get(std::int64_t from, FileReceiver& receiver, std::string& why) override {
    OpenRequest open;
    if (!Send(L"GET", from, open, why)) return false;
    if (!receiver.OnHead(HeadOf(open.request.get()))) return Abandon(open);
    std::vector<char> piece(kReadBytes);
    for (;;) {
      DWORD read = 0;
      if (!BOUND("wininet.dll", InternetReadFile)(open.request.get(), piece.data(), kReadBytes, &read)) {
        why = WininetErrorText(GetLastError());
        return Abandon(open);
      }
      if (read == 0) return true;
      if (!receiver.OnBody(piece.data(), read)) return Abandon(open);
    }
  }

 private:
  bool Send(const wchar_t* verb, std::int64_t from, OpenRequest& open, std::string& why) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = 1;  // pointers into url_, not copies
    parts.dwUrlPathLength = 1;
    parts.dwExtraInfoLength = 1;
    if (!BOUND("wininet.dll", InternetCrackUrlW)(url_.c_str(), 0, 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS)) {
      why = "not an http or https address";
      return false;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring object(parts.lpszUrlPath, parts.dwUrlPathLength);
    object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (object.empty()) object = L"/";
    open.connection.reset(BOUND("wininet.dll", InternetConnectW)(internet_.get(), host.c_str(), parts.nPort,
                                                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_KEEP_CONNECTION |
                        (parts.nScheme == INTERNET_SCHEME_HTTPS ? INTERNET_FLAG_SECURE : 0);
    if (open.connection) {
      open.request.reset(BOUND("wininet.dll", HttpOpenRequestW)(open.connection.get(), verb, object.c_str(),
                                                                 L"HTTP/1.1", nullptr, nullptr, flags, 0));
    }
    if (!open.request) {
      why = WininetErrorText(GetLastError());
      return false;
    }
    const std::wstring range = from > 0 ? L"Range: bytes=" + std::to_wstring(from) + L"-\r\n" : L"";
    if (!BOUND("wininet.dll", HttpSendRequestW)(open.request.get(), range.empty() ? nullptr : range.c_str(),
                                                static_cast<DWORD>(range.size()), nullptr, 0)) {
      why = WininetErrorText(GetLastError());
      return false;
    }
    return true;
  }

  bool Abandon(OpenRequest& open) {
    open.request.release();
    open.connection.release();
    abandoned_ = true;
    return false;
  }

  InternetHandle internet_;
  std::wstring url_;
  bool abandoned_ = false;
};

}  // namespace

std::unique_ptr<FileWire> OpenFileWire(const std::string& url, const std::string& agent, std::string& why) {
  InternetHandle internet(BOUND("wininet.dll", InternetOpenW)(WideText(agent).c_str(), INTERNET_OPEN_TYPE_DIRECT,
                                                               nullptr, nullptr, 0));
  if (!internet) {
    why = "the internet functions cannot start: " + WininetErrorText(GetLastError());
    return nullptr;
  }
  return std::make_unique<WininetFileWire>(std::move(internet), WideText(url));
}
