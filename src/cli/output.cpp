#include "cli/output.h"

#include <nlohmann/json.hpp>

std::string ErrorLine(const ShareResult& result) { return "error: " + result.link + ": " + result.error; }

std::string JsonLine(const ShareResult& result) {
  nlohmann::ordered_json object;
  object["link"] = result.link;
  object["code"] = result.code;
  object["file"] = result.file;
  object["dlink"] = result.dlink;
  object["ok"] = result.ok();
  object["error"] = result.ok() ? nlohmann::ordered_json(nullptr) : nlohmann::ordered_json(result.error);
  if (!result.saved.empty()) object["saved"] = result.saved;
  if (!result.aria2Gid.empty()) object["aria2_gid"] = result.aria2Gid;
  // Bytes that are no UTF-8 (from a server) become U+FFFD rather than an exception.
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}
