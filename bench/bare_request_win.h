// A bare wininet request with the calls the program's exchange makes and
// nothing else: the yardstick the benchmarks hold the program against.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <string_view>

// Sends one request with the default header lines, reads the body 1024 bytes
// a call keeping nothing, queries the raw header block, closes innermost
// first. Returns the body's size.
inline std::size_t BareRequest(const char* agent, const char* host, INTERNET_PORT port, const char* verb,
                               const char* path, DWORD flags, std::string_view body = {}) {
  HINTERNET internet = InternetOpenA(agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, verb, path, "HTTP/1.1", nullptr, nullptr, flags, 0);
  const char headers[] =
      "Accept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";
  HttpSendRequestA(request, headers, sizeof headers - 1,
                   body.empty() ? nullptr : const_cast<char*>(body.data()), static_cast<DWORD>(body.size()));
  char buffer[1024];
  DWORD read = 0;
  std::size_t total = 0;
  while (InternetReadFile(request, buffer, sizeof buffer, &read) && read > 0) total += read;
  char raw[5000];
  DWORD length = sizeof raw;
  HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw, &length, nullptr);
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return total;
}
