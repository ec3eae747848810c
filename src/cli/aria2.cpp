#include "cli/aria2.h"

#include <nlohmann/json.hpp>

#include "http/fetch.h"

namespace {

using Json = nlohmann::json;

// One request per exchange: the id only has to be present.
constexpr int kRequestId = 1;
// How much of an answer that is not JSON-RPC is shown: enough to recognise a
// page, never a whole one on the terminal.
constexpr std::size_t kShownAnswerBytes = 80;

// aria2's own words for a fault object {"code": N, "message": "..."}.
std::string FaultMessage(const Json& fault) {
  const auto message = fault.find("message");
  if (message != fault.end() && message->is_string() && !message->get<std::string>().empty()) {
    return message->get<std::string>();
  }
  const auto code = fault.find("code");
  return "aria2 answered error " + (code != fault.end() ? code->dump() : std::string("without a code"));
}

std::string NotJsonRpc(std::string_view body, std::string_view statusLine) {
  std::string reason = "the answer is not aria2's JSON-RPC";
  if (!statusLine.empty()) return reason + " (" + std::string(statusLine) + ")";
  if (body.empty()) return "aria2 gave an empty answer";
  const std::string_view shown = body.substr(0, kShownAnswerBytes);
  return reason + ": " + Json(std::string(shown)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The first line of a raw header block.
std::string_view StatusLine(std::string_view rawHeaders) {
  return rawHeaders.substr(0, rawHeaders.find_first_of("\r\n"));
}

}  // namespace

std::string Aria2Request(const Aria2Target& target, const std::vector<Aria2Item>& items, std::string_view agent) {
  Json calls = Json::array();
  for (const Aria2Item& item : items) {
    Json options = Json::object();
    if (!item.fileName.empty()) options["out"] = item.fileName;
    options["header"] = Json::array({"User-Agent: " + std::string(agent)});
    if (!target.dir.empty()) options["dir"] = target.dir;
    Json params = Json::array();
    if (!target.secret.empty()) params.push_back("token:" + target.secret);
    params.push_back(Json::array({item.dlink}));
    params.push_back(std::move(options));
    calls.push_back({{"methodName", "aria2.addUri"}, {"params", std::move(params)}});
  }
  const Json request = {{"jsonrpc", "2.0"},
                        {"id", kRequestId},
                        {"method", "system.multicall"},
                        {"params", Json::array({std::move(calls)})}};
  // Bytes that are no UTF-8 become U+FFFD rather than an exception.
  return request.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Aria2Outcome ReadAria2Answer(std::string_view body, std::size_t count, std::string_view statusLine) {
  Aria2Outcome outcome;
  outcome.gids.assign(count, {});
  const Json answer = Json::parse(body, nullptr, false);
  if (!answer.is_object()) {
    outcome.error = NotJsonRpc(body, statusLine);
    return outcome;
  }
  // The whole call refused: a wrong secret without a multicall, a parse error.
  if (const auto error = answer.find("error"); error != answer.end() && error->is_object()) {
    outcome.error = FaultMessage(*error);
    return outcome;
  }
  const auto result = answer.find("result");
  if (result == answer.end() || !result->is_array()) {
    outcome.error = NotJsonRpc(body, statusLine);
    return outcome;
  }
  if (result->size() != count) {
    outcome.error = "aria2 answered " + std::to_string(result->size()) + " results for " +
                    std::to_string(count) + " downloads";
    return outcome;
  }
  // Each call's answer: [GID] when it went, a fault object when it did not.
  std::size_t refused = 0;
  std::string firstReason;
  for (std::size_t i = 0; i < count; ++i) {
    const Json& one = (*result)[i];
    if (one.is_array() && one.size() == 1 && one[0].is_string()) {
      outcome.gids[i] = one[0].get<std::string>();
      continue;
    }
    ++refused;
    if (firstReason.empty()) {
      firstReason = one.is_object() ? FaultMessage(one) : "aria2 answered " + one.dump() + " for a download";
    }
  }
  if (refused == count) {
    outcome.error = firstReason;
  } else if (refused > 0) {
    outcome.error = firstReason + " (" + std::to_string(refused) + " of " + std::to_string(count) +
                    " downloads refused)";
  }
  return outcome;
}

Aria2Outcome PushToAria2(const Aria2Target& target, const std::vector<Aria2Item>& items, std::string_view agent) {
  if (items.empty()) return {};
  std::string failure;
  Text headers = "Content-Type: application/json";
  Text rawHeaders;
  HttpRequestOptions options;
  options.method = 1;
  options.postText = Aria2Request(target, items, agent);
  options.extraHeaders = &headers;
  options.rawHeaders = &rawHeaders;
  options.failure = &failure;
  const Bytes body = HttpFetch(target.url, options);
  if (!failure.empty()) {
    Aria2Outcome outcome;
    outcome.gids.assign(items.size(), {});
    outcome.error = failure;
    return outcome;
  }
  const std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
  return ReadAria2Answer(text, items.size(), StatusLine(rawHeaders));
}

std::string Aria2ErrorLine(const Aria2Target& target, std::string_view reason) {
  return "error: aria2 at " + target.url + ": " + std::string(reason);
}
