// Handing resolved links to a running aria2 over its JSON-RPC interface: a
// batch goes in one system.multicall of aria2.addUri calls, so aria2 queues
// the whole batch or says why it would not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Where aria2 listens when started with --enable-rpc and nothing else.
inline constexpr std::string_view kAria2DefaultUrl = "http://127.0.0.1:6800/jsonrpc";

struct Aria2Target {
  std::string url = std::string(kAria2DefaultUrl);
  std::string secret;  // aria2's --rpc-secret; "" sends no token
  std::string dir;     // where aria2 saves the files; "" leaves it to aria2
};

struct Aria2Item {
  std::string dlink;
  std::string fileName;  // UTF-8, already safe as a file name; "" lets aria2 name it
};

struct Aria2Outcome {
  // One per item, in order: the GID aria2 gave the download, "" for an item
  // aria2 refused (and for every item when the exchange itself failed).
  std::vector<std::string> gids;
  std::string error;  // "" when aria2 took every item
  bool ok() const { return error.empty(); }
};

// The request body: one system.multicall whose aria2.addUri calls carry
// "token:SECRET" (when a secret is given), [dlink] and the options out,
// header ["User-Agent: AGENT"] and dir (when given).
std::string Aria2Request(const Aria2Target& target, const std::vector<Aria2Item>& items, std::string_view agent);

// Reads aria2's answer to Aria2Request for `count` items. An answer that is
// not JSON-RPC is explained with `statusLine` (the HTTP status line) when given.
Aria2Outcome ReadAria2Answer(std::string_view body, std::size_t count, std::string_view statusLine = {});

// Sends the batch to aria2 and reads its answer; an exchange that failed
// gives the exchange's reason. No items: nothing is sent.
Aria2Outcome PushToAria2(const Aria2Target& target, const std::vector<Aria2Item>& items, std::string_view agent);

// "error: aria2 at URL: REASON", the line the command prints for a push that failed.
std::string Aria2ErrorLine(const Aria2Target& target, std::string_view reason);
