// Reading the fake netdisk service from a test: its origin and the log of
// every request it received. The fixture that starts it names its folder in
// FAKE_NETDISK_DIR.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct LoggedRequest {
  std::string requestLine;
  std::vector<std::string> headerLines;  // "Name: value", in the order received
  std::string body;

  // The value of the first header named so (case-insensitive), or "" when none.
  std::string Header(std::string_view name) const;
  // How many header lines have this name (case-insensitive).
  int HeaderCount(std::string_view name) const;
};

namespace fake_service {

std::string Dir();
// "http://127.0.0.1:PORT"
std::string Origin();
// Every request logged so far, oldest first.
std::vector<LoggedRequest> Requests();
// The requests whose request line contains the text.
std::vector<LoggedRequest> RequestsMatching(std::string_view requestLinePart);
// The requests logged after the first `count` ones.
std::vector<LoggedRequest> RequestsSince(std::size_t count);
// A fresh token for the paths of one test, so concurrent tests tell their requests apart.
std::string UniqueToken();

}  // namespace fake_service
