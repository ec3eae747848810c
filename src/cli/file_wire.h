// The HTTP side of a download: requests for one file through the system's own
// stack (libcurl on Linux, wininet on Windows), redirects followed, the body
// handed over as it arrives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// The head of the answer that carries the file: the last of a redirect chain.
struct FileHead {
  long status = 0;
  std::int64_t length = -1;  // Content-Length, -1 when absent
  std::string contentRange;  // the Content-Range value, "" when absent
};

class FileReceiver {
 public:
  virtual ~FileReceiver() = default;
  // Once per request, before any of the body (also when there is none);
  // false stops the transfer.
  virtual bool OnHead(const FileHead& head) = 0;
  // false stops the transfer.
  virtual bool OnBody(const char* data, std::size_t size) = 0;
};

class FileWire {
 public:
  virtual ~FileWire() = default;
  // A HEAD request: its answer's head, or nullopt and the stack's words in `why`.
  virtual std::optional<FileHead> Head(std::string& why) = 0;
  // A GET from byte `from` (with a Range when it is past 0). True when the
  // answer was read to its end; false when the receiver stopped it or the
  // exchange broke, the stack's words in `why` for the latter.
  virtual bool Get(std::int64_t from, FileReceiver& receiver, std::string& why) = 0;
};

// A wire for `url`, sending `agent`; nullptr and why when the stack cannot start.
std::unique_ptr<FileWire> OpenFileWire(const std::string& url, const std::string& agent, std::string& why);
