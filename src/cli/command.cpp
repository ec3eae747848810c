#include "cli/command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>

#include "cli/aria2.h"
#include "cli/batch.h"
#include "cli/captcha_asker.h"
#include "cli/console_write.h"
#include "cli/download.h"
#include "cli/file_name.h"
#include "cli/output.h"
#include "http/request.h"
#include "resolver/origin.h"
#include "resolver/share_text.h"

namespace {

constexpr const char* kVersion = "1.0.0";

struct Options {
  std::string code;
  std::vector<std::string> inputs;
  int jobs = 4;
  bool json = false;
  bool noCaptcha = false;
  std::vector<std::string> texts;
  // Hand-offs: aria2 over JSON-RPC, or the built-in download.
  std::optional<std::string> aria2;
  std::string aria2Secret;
  std::string dir;
  std::optional<std::string> download;
  bool quiet = false;
};

// The whole of a file, or of standard input for "-"; false when it cannot be read.
bool ReadInput(const std::string& name, std::string& text) {
  if (name == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), {});
    return true;
  }
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), {});
  return !in.bad();
}

// A text on the command line that holds no share of the service but names a
// link: it goes to the resolver, which says why it is refused.
std::string ForeignLink(const std::string& text) {
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    if (word.find("://") != std::string::npos) return word;
  }
  return {};
}

void Print(std::FILE* stream, const std::string& line) { WriteText(stream, line + "\n"); }

// "--aria2 LINK" and "--download LINK" mean the option without its value and
// a share: such an option moves to the end of the command line (`reversed`
// is in CLI11's order, last first), where it takes no value.
void KeepSharesOutOfOptionalValues(std::vector<std::string>& reversed) {
  std::vector<std::string> kept, moved;
  for (std::size_t i = reversed.size(); i-- > 0;) {
    const bool optional = reversed[i] == "--aria2" || reversed[i] == "--download";
    if (optional && i > 0 && !FindShares(reversed[i - 1]).empty()) {
      moved.push_back(reversed[i]);
    } else {
      kept.push_back(reversed[i]);
    }
  }
  kept.insert(kept.end(), moved.begin(), moved.end());
  reversed.assign(kept.rbegin(), kept.rend());
}

// The options, or the exit status when parsing ends the command (help,
// version, a usage error).
std::optional<int> ParseOptions(const std::vector<std::string>& args, Options& o) {
  CLI::App app{"Resolves netdisk share links (or whole share messages) into direct download links.\n"
               "Service: " + std::string(ServiceOrigin),
               "netdisk-link-cli"};
  app.add_option("SHARE_TEXT", o.texts, "share links or share messages");
  app.add_option("-c,--code", o.code, "extraction code for shares on the command line that carry none");
  app.add_option("-i,--input", o.inputs, "read share texts from FILE, \"-\" for standard input (may be repeated)")
      ->type_name("FILE");
  app.add_option("-j,--jobs", o.jobs, "resolve N shares at once (default 4)")
      ->type_name("N")
      ->check(CLI::Range(1, 64));
  app.add_flag("--json", o.json, "one JSON object per share on standard output");
  app.add_flag("--no-captcha", o.noCaptcha, "a share that demands a captcha fails instead of asking");
  app.add_option("--aria2", o.aria2, "push the links to aria2's JSON-RPC at URL (default " +
                                         std::string(kAria2DefaultUrl) + ")")
      ->type_name("[URL]")
      ->expected(0, 1)
      ->default_str(std::string(kAria2DefaultUrl));
  app.add_option("--aria2-secret", o.aria2Secret, "aria2's RPC secret")->type_name("TOKEN");
  app.add_option("--dir", o.dir, "the folder aria2 should save into")->type_name("DIR");
  app.add_option("--download", o.download, "fetch each file into DIR (default: the current folder)")
      ->type_name("[DIR]")
      ->expected(0, 1)
      ->default_str(".");
  app.add_flag("--quiet", o.quiet, "no progress lines while downloading");
  app.set_version_flag("-V,--version", std::string("netdisk-link-cli ") + kVersion + " (" +
                                           std::string(ServiceOrigin) + ")");
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    KeepSharesOutOfOptionalValues(reversed);
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? kAllResolved : kUsageError;
  }
  if (o.aria2 && o.aria2->empty()) o.aria2 = std::string(kAria2DefaultUrl);
  if (o.download && o.download->empty()) o.download = ".";
  return std::nullopt;
}

// Every share of the command line and the input files, in order; false
// (after saying why) when an input cannot be read or holds no share.
bool CollectShares(const Options& o, std::vector<ShareJob>& shares) {
  for (const std::string& text : o.texts) {
    const auto found = FindShares(text);
    for (const ParsedShare& s : found) shares.push_back({s.link, s.code.empty() ? o.code : s.code});
    if (found.empty()) {
      const std::string link = ForeignLink(text);
      if (!link.empty()) shares.push_back({link, o.code});
    }
  }
  for (const std::string& name : o.inputs) {
    std::string text;
    if (!ReadInput(name, text)) {
      Print(stderr, "error: cannot read " + name);
      return false;
    }
    for (const ParsedShare& s : FindShares(text)) shares.push_back({s.link, s.code});
  }
  if (shares.empty()) {
    Print(stderr, "error: no share link of " + std::string(ServiceOrigin) +
                      " in the input (give share links or messages, or -i FILE)");
    return false;
  }
  return true;
}

// Hands every resolved share of the batch to aria2 in one call; false (after
// saying why) when aria2 could not take them.
bool PushBatch(const Options& o, std::vector<ShareResult>& results, const std::string& agent) {
  const Aria2Target target{*o.aria2, o.aria2Secret, o.dir};
  std::vector<Aria2Item> items;
  std::vector<ShareResult*> pushed;
  for (ShareResult& result : results) {
    if (!result.ok()) continue;  // a share that failed is not sent
    items.push_back({result.dlink, SafeFileName(result.file)});
    pushed.push_back(&result);
  }
  const Aria2Outcome outcome = PushToAria2(target, items, agent);
  for (std::size_t i = 0; i < pushed.size() && i < outcome.gids.size(); ++i) pushed[i]->aria2Gid = outcome.gids[i];
  if (outcome.ok()) return true;
  Print(stderr, Aria2ErrorLine(target, outcome.error));
  return false;
}

}  // namespace

int RunCommand(const std::vector<std::string>& args) {
  Options o;
  if (const auto status = ParseOptions(args, o)) return *status;
  std::vector<ShareJob> shares;
  if (!CollectShares(o, shares)) return kUsageError;

  std::string noCaptchaReason = "the service demands a captcha and --no-captcha was given";
  std::unique_ptr<CaptchaAsker> asker;
  if (!o.noCaptcha) {
    std::string whyNot;
    asker = MakeCaptchaAsker(whyNot);
    if (!asker) noCaptchaReason = "the service demands a captcha and " + whyNot;
  }

  std::unique_ptr<ProgressSink> progress;
  if (o.download) progress = MakeProgress(o.quiet);
  const std::string agent(kDefaultAgent);

  // Each share's own download runs on the worker that resolved it.
  std::function<void(ShareResult&)> then;
  if (o.download) {
    then = [&](ShareResult& result) {
      const DownloadResult d = DownloadFile(result.dlink, *o.download, result.file, agent, *progress);
      if (d.ok) {
        result.saved = d.path;
      } else {
        result.error = "download: " + d.error;
      }
    };
  }

  bool allResolved = true;
  auto show = [&](const ShareResult& result) {
    allResolved = allResolved && result.ok();
    if (o.json) {
      Print(stdout, JsonLine(result));
      return;
    }
    // A link that resolved is printed even when its hand-off failed.
    if (!result.dlink.empty()) Print(stdout, result.dlink);
    if (!result.ok()) Print(stderr, ErrorLine(result));
  };
  if (!o.aria2) {
    ResolveBatch(shares, o.jobs, asker.get(), noCaptchaReason, then, show);
    return allResolved ? kAllResolved : kSomeFailed;
  }

  // aria2 takes the whole batch in one call, so the results wait for it.
  std::vector<ShareResult> results;
  ResolveBatch(shares, o.jobs, asker.get(), noCaptchaReason, then,
               [&](const ShareResult& result) { results.push_back(result); });
  const bool pushed = PushBatch(o, results, agent);
  for (const ShareResult& result : results) {
    show(result);
    if (!o.json && !result.aria2Gid.empty()) {
      Print(stderr, "aria2: " + result.aria2Gid + ": " + SafeFileName(result.file));
    }
  }
  return allResolved && pushed ? kAllResolved : kSomeFailed;
}
