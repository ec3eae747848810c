#include "support/fake_service.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace {

bool SameName(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':') return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(line[i]) != lower(name[i])) return false;
  }
  return true;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

LoggedRequest Parse(std::string_view raw) {
  LoggedRequest r;
  const std::size_t headEnd = raw.find("\r\n\r\n");
  const std::string_view head = raw.substr(0, headEnd);
  r.body = headEnd == std::string_view::npos ? "" : std::string(raw.substr(headEnd + 4));
  std::size_t pos = 0;
  bool first = true;
  while (pos <= head.size()) {
    std::size_t eol = head.find("\r\n", pos);
    if (eol == std::string_view::npos) eol = head.size();
    std::string line(head.substr(pos, eol - pos));
    if (first) {
      r.requestLine = line;
      first = false;
    } else {
      r.headerLines.push_back(line);
    }
    pos = eol + 2;
  }
  return r;
}

}  // namespace

std::string LoggedRequest::Header(std::string_view name) const {
  for (const auto& line : headerLines) {
    if (SameName(line, name)) {
      std::size_t v = name.size() + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      return line.substr(v);
    }
  }
  return "";
}

int LoggedRequest::HeaderCount(std::string_view name) const {
  int n = 0;
  for (const auto& line : headerLines) n += SameName(line, name) ? 1 : 0;
  return n;
}

namespace fake_service {

std::string Dir() {
  const char* dir = std::getenv("FAKE_NETDISK_DIR");
  if (!dir) throw std::runtime_error("FAKE_NETDISK_DIR is not set");
  return dir;
}

std::string Origin() { return ReadAll(Dir() + "/origin"); }

std::vector<LoggedRequest> Requests() {
  const std::string log = ReadAll(Dir() + "/requests.log");
  std::vector<LoggedRequest> out;
  std::size_t pos = 0;
  // Records are "REQUEST <n>\n", n raw bytes, "\n".
  while (pos < log.size()) {
    const std::size_t eol = log.find('\n', pos);
    if (log.compare(pos, 8, "REQUEST ") != 0 || eol == std::string::npos) break;
    const std::size_t n = std::stoul(log.substr(pos + 8, eol - pos - 8));
    if (eol + 1 + n > log.size()) break;  // a record still being written
    out.push_back(Parse(std::string_view(log).substr(eol + 1, n)));
    pos = eol + 1 + n + 1;
  }
  return out;
}

std::vector<LoggedRequest> RequestsMatching(std::string_view requestLinePart) {
  std::vector<LoggedRequest> out;
  for (auto& r : Requests()) {
    if (r.requestLine.find(requestLinePart) != std::string::npos) out.push_back(std::move(r));
  }
  return out;
}

std::vector<LoggedRequest> RequestsSince(std::size_t count) {
  std::vector<LoggedRequest> all = Requests();
  all.erase(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(std::min(count, all.size())));
  return all;
}

std::string UniqueToken() {
  static std::atomic<int> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "t" + std::to_string(now) + "x" + std::to_string(counter++);
}

}  // namespace fake_service
