// Resolving many shares at once: each with its own resolver state and cookie
// jar, results handed on in input order as soon as each is known.
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_platform.h"
#include "text/text.h"

struct ShareJob {
  Text link;  // as the resolver takes it
  Text code;  // "" when none
};

struct ShareResult {
  Text link;
  Text code;
  std::string file;   // the shared file's name in UTF-8, "" when unknown
  Text dlink;         // "" when the resolution failed
  std::string error;  // why it failed, "" when it did not
  std::string saved;  // where the built-in download put the file, "" when none
  std::string aria2Gid;  // the download aria2 took it as, "" when none
  bool ok() const { return !dlink.empty() && error.empty(); }
};

// One share, start to end, on the calling thread.
ShareResult ResolveOne(const ShareJob& job, CaptchaAsker* asker, std::mutex& captchaTurn,
                       const std::string& noCaptchaReason);

// Resolves every job with up to `jobs` at a time; `then` (when given) runs on
// the same worker right after each resolution (a download, say). `done` runs
// on the calling thread, once per job, in input order, as soon as that job
// and every one before it are done.
void ResolveBatch(const std::vector<ShareJob>& shares, int jobs, CaptchaAsker* asker,
                  const std::string& noCaptchaReason, const std::function<void(ShareResult&)>& then,
                  const std::function<void(const ShareResult&)>& done);
