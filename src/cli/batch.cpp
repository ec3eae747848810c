#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <optional>
#include <thread>

#include "resolver/resolve.h"
#include "text/codepage.h"

ShareResult ResolveOne(const ShareJob& job, CaptchaAsker* asker, std::mutex& captchaTurn,
                       const std::string& noCaptchaReason) {
  ShareResult result{job.link, job.code, {}, {}, {}};
  try {
    ResolverState state;
    CliPlatform platform(state, job.link, asker, captchaTurn, noCaptchaReason);
    Text link = job.link;
    result.dlink = ResolveShareLink(link, job.code, state, platform);
    result.file = Utf16ToUtf8(Cp936ToUtf16(state.fileName));
    if (!result.ok()) result.error = state.failure.empty() ? "no link" : state.failure;
  } catch (const std::exception& e) {
    // Memory ran out (or the like): this share fails, the batch goes on.
    result.dlink.clear();
    result.error = std::string("the resolution stopped: ") + e.what();
  }
  return result;
}

void ResolveBatch(const std::vector<ShareJob>& shares, int jobs, CaptchaAsker* asker,
                  const std::string& noCaptchaReason, const std::function<void(ShareResult&)>& then,
                  const std::function<void(const ShareResult&)>& done) {
  std::mutex captchaTurn;
  std::mutex lock;
  std::condition_variable finished;
  std::vector<std::optional<ShareResult>> results(shares.size());
  std::atomic<std::size_t> next{0};

  auto work = [&] {
    for (std::size_t i = next++; i < shares.size(); i = next++) {
      ShareResult result = ResolveOne(shares[i], asker, captchaTurn, noCaptchaReason);
      if (then && result.ok()) then(result);
      const std::lock_guard<std::mutex> guard(lock);
      results[i] = std::move(result);
      finished.notify_one();
    }
  };
  const std::size_t workers = std::min<std::size_t>(static_cast<std::size_t>(std::max(jobs, 1)), shares.size());
  std::vector<std::thread> threads;
  for (std::size_t w = 0; w < workers; ++w) threads.emplace_back(work);

  for (std::size_t i = 0; i < shares.size(); ++i) {
    std::unique_lock<std::mutex> guard(lock);
    finished.wait(guard, [&] { return results[i].has_value(); });
    ShareResult result = std::move(*results[i]);
    results[i].reset();
    guard.unlock();
    done(result);
  }
  for (auto& t : threads) t.join();
}
