// How downloads report their progress: an interface the download calls from
// its own thread, a terminal implementation and a silent one.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ProgressSink {
 public:
  virtual ~ProgressSink() = default;
  // A file's download starts with `done` bytes already there (a resumed
  // .part) of `total` (-1 while unknown). Returns the id the calls below take.
  virtual int Begin(const std::string& name, std::int64_t done, std::int64_t total) = 0;
  virtual void Advance(int id, std::int64_t done, std::int64_t total) = 0;
  // The file is done with: `outcome` says how ("saved", "already there") or why it failed.
  virtual void End(int id, bool ok, const std::string& outcome) = 0;
};

// Prints nothing.
class QuietProgress : public ProgressSink {
 public:
  int Begin(const std::string&, std::int64_t, std::int64_t) override { return 0; }
  void Advance(int, std::int64_t, std::int64_t) override {}
  void End(int, bool, const std::string&) override {}
};

// Live (a terminal): one line per active file (name, percent, bytes done and
// total, speed, time left), redrawn in place at most kRedrawsPerSecond times a
// second, and a line for each finished file above them. Not live (a pipe, a
// file): one line per finished file. Safe to call from several threads.
class TerminalProgress : public ProgressSink {
 public:
  using Clock = std::chrono::steady_clock;
  // More would cost more than the eye gains.
  static constexpr int kRedrawsPerSecond = 10;

  // `now` is the clock the lines' speeds and redraw pacing read.
  TerminalProgress(std::FILE* out, bool live, int columns = 80,
                   std::function<Clock::time_point()> now = Clock::now);

  int Begin(const std::string& name, std::int64_t done, std::int64_t total) override;
  void Advance(int id, std::int64_t done, std::int64_t total) override;
  void End(int id, bool ok, const std::string& outcome) override;

 private:
  struct Active {
    int id;
    std::string name;
    std::int64_t first;  // bytes there when this run's transfer started
    bool moving;         // the transfer has reported its start
    std::int64_t done;
    std::int64_t total;
    Clock::time_point started;
  };
  std::string LineOf(const Active& a, Clock::time_point now) const;
  void Redraw(Clock::time_point now, const std::string& finishedLine);

  std::mutex mutex_;
  std::FILE* out_;
  bool live_;
  int columns_;
  std::function<Clock::time_point()> now_;
  std::vector<Active> active_;
  int nextId_ = 1;
  int drawnLines_ = 0;
  Clock::time_point lastDraw_{};
};

// The sink for the command: TerminalProgress on standard error, live when it
// is a terminal (as wide as the terminal), or QuietProgress.
std::unique_ptr<ProgressSink> MakeProgress(bool quiet);

// "1.5 MiB"-style sizes for progress lines and reasons.
std::string ByteCount(std::int64_t bytes);
