#include "cli/command.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "cli/batch.h"
#include "cli/captcha_asker.h"
#include "cli/output.h"
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

void Print(std::FILE* stream, const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stream);
  std::fputc('\n', stream);
  std::fflush(stream);
}

}  // namespace

int RunCommand(const std::vector<std::string>& args) {
  Options o;
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
  app.set_version_flag("-V,--version", std::string("netdisk-link-cli ") + kVersion + " (" +
                                           std::string(ServiceOrigin) + ")");
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(reversed);
  } catch (const CLI::ParseError& e) {
    const int status = app.exit(e);
    return status == 0 ? kAllResolved : kUsageError;
  }

  std::vector<ShareJob> shares;
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
      return kUsageError;
    }
    for (const ParsedShare& s : FindShares(text)) shares.push_back({s.link, s.code});
  }
  if (shares.empty()) {
    Print(stderr, "error: no share link of " + std::string(ServiceOrigin) +
                      " in the input (give share links or messages, or -i FILE)");
    return kUsageError;
  }

  std::string noCaptchaReason = "the service demands a captcha and --no-captcha was given";
  std::unique_ptr<CaptchaAsker> asker;
  if (!o.noCaptcha) {
    std::string whyNot;
    asker = MakeCaptchaAsker(whyNot);
    if (!asker) noCaptchaReason = "the service demands a captcha and " + whyNot;
  }

  bool allResolved = true;
  ResolveBatch(shares, o.jobs, asker.get(), noCaptchaReason, [&](const ShareResult& result) {
    allResolved = allResolved && result.ok();
    if (o.json) {
      Print(stdout, JsonLine(result));
    } else if (result.ok()) {
      Print(stdout, result.dlink);
    } else {
      Print(stderr, ErrorLine(result));
    }
  });
  return allResolved ? kAllResolved : kSomeFailed;
}
