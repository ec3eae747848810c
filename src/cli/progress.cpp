#include "cli/progress.h"

#include "cli/console_write.h"

#include <algorithm>
#include <cinttypes>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace {

// What the figures after the name take: " 100%  1023.9 MiB / 1023.9 MiB  1023.9 MiB/s  99:59:59 left".
constexpr int kFiguresColumns = 58;
// A name keeps at least this many columns however narrow the terminal.
constexpr int kMinNameColumns = 12;
// Half a second of transfer before a speed is shown: the first bytes say little.
constexpr auto kSpeedWarmUp = std::chrono::milliseconds(500);

// Columns a character takes: East Asian wide and full-width ones take two.
int ColumnsOf(char32_t c) {
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                    (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1FAFF) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

// The name cut to `columns` terminal columns (an ellipsis marks a cut), padded with spaces to them.
// Names are valid UTF-8 (SafeFileName).
std::string Fit(const std::string& name, int columns) {
  std::string out;
  int used = 0;
  for (std::size_t at = 0; at < name.size();) {
    const auto lead = static_cast<unsigned char>(name[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
    for (std::size_t i = 1; i < length && at + i < name.size(); ++i) c = (c << 6) | (name[at + i] & 0x3F);
    const int width = ColumnsOf(c);
    const bool last = at + length >= name.size();
    if (used + width > columns - (last ? 0 : 1)) {
      out += "\xE2\x80\xA6";  // …
      ++used;
      break;
    }
    out.append(name, at, length);
    used += width;
    at += length;
  }
  out.append(static_cast<std::size_t>(std::max(0, columns - used)), ' ');
  return out;
}

std::string Duration(std::int64_t seconds) {
  char text[32];
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, "%" PRId64 ":%02d:%02d", seconds / 3600, static_cast<int>(seconds / 60 % 60),
                  static_cast<int>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  }
  return text;
}

double Seconds(TerminalProgress::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

std::string ByteCount(std::int64_t bytes) {
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  if (bytes < 1024) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
  return text;
}

TerminalProgress::TerminalProgress(std::FILE* out, bool live, int columns, std::function<Clock::time_point()> now)
    : out_(out), live_(live), columns_(columns), now_(std::move(now)) {}

std::string TerminalProgress::LineOf(const Active& a, Clock::time_point now) const {
  std::string line = Fit(a.name, std::max(kMinNameColumns, columns_ - 1 - kFiguresColumns));
  char figures[96];
  if (a.total > 0) {
    std::snprintf(figures, sizeof figures, " %3d%%  %s / %s", static_cast<int>(a.done * 100 / a.total),
                  ByteCount(a.done).c_str(), ByteCount(a.total).c_str());
  } else {
    std::snprintf(figures, sizeof figures, "   ?%%  %s", ByteCount(a.done).c_str());
  }
  line += figures;
  const double elapsed = Seconds(now - a.started);
  if (now - a.started >= kSpeedWarmUp && a.done > a.first) {
    const double speed = static_cast<double>(a.done - a.first) / elapsed;
    line += "  " + ByteCount(static_cast<std::int64_t>(speed)) + "/s";
    if (a.total > a.done) line += "  " + Duration(static_cast<std::int64_t>((a.total - a.done) / speed)) + " left";
  }
  return line;
}

void TerminalProgress::Redraw(Clock::time_point now, const std::string& finishedLine) {
  std::string s;
  if (drawnLines_ > 0) s += "\x1b[" + std::to_string(drawnLines_) + "F";  // to the block's first line
  if (!finishedLine.empty()) s += "\x1b[2K" + finishedLine + "\n";
  for (const Active& a : active_) s += "\x1b[2K" + LineOf(a, now) + "\n";
  s += "\x1b[J";  // lines of files no longer active
  WriteText(out_, s);
  drawnLines_ = static_cast<int>(active_.size());
  lastDraw_ = now;
}

int TerminalProgress::Begin(const std::string& name, std::int64_t done, std::int64_t total) {
  std::lock_guard lock(mutex_);
  const Clock::time_point now = now_();
  const int id = nextId_++;
  active_.push_back({id, name, done, false, done, total, now});
  if (live_) Redraw(now, {});
  return id;
}

void TerminalProgress::Advance(int id, std::int64_t done, std::int64_t total) {
  std::lock_guard lock(mutex_);
  const auto a = std::find_if(active_.begin(), active_.end(), [&](const Active& x) { return x.id == id; });
  if (a == active_.end()) return;
  // The first report gives what a resumed .part held; a smaller one is a restart from zero.
  if (!a->moving || done < a->done) a->first = done;
  a->moving = true;
  a->done = done;
  a->total = total;
  const Clock::time_point now = now_();
  if (live_ && now - lastDraw_ >= std::chrono::milliseconds(1000) / kRedrawsPerSecond) Redraw(now, {});
}

void TerminalProgress::End(int id, bool ok, const std::string& outcome) {
  std::lock_guard lock(mutex_);
  const auto a = std::find_if(active_.begin(), active_.end(), [&](const Active& x) { return x.id == id; });
  if (a == active_.end()) return;
  const Clock::time_point now = now_();
  std::string line = a->name + ": " + outcome;
  if (ok && a->done > a->first) {
    const double elapsed = std::max(Seconds(now - a->started), 1e-3);
    char figures[96];
    std::snprintf(figures, sizeof figures, " (%s in %.1f s, %s/s)", ByteCount(a->done - a->first).c_str(), elapsed,
                  ByteCount(static_cast<std::int64_t>(static_cast<double>(a->done - a->first) / elapsed)).c_str());
    line += figures;
  }
  active_.erase(a);
  if (live_) {
    Redraw(now, line);
  } else {
    line += "\n";
    WriteText(out_, line);
  }
}

std::unique_ptr<ProgressSink> MakeProgress(bool quiet) {
  if (quiet) return std::make_unique<QuietProgress>();
#ifdef _WIN32
  // Live on a console that takes the escapes that redraw lines in place
  // (Windows 10 on). Wine's console accepts the mode yet prints the escapes
  // as characters, so under Wine the lines are one per finished file.
  const HANDLE console = GetStdHandle(STD_ERROR_HANDLE);
  const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  DWORD mode = 0;
  const bool live = !wine && GetConsoleMode(console, &mode) &&
                    SetConsoleMode(console, mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  CONSOLE_SCREEN_BUFFER_INFO screen{};
  const int columns = live && GetConsoleScreenBufferInfo(console, &screen)
                          ? std::max(1, screen.srWindow.Right - screen.srWindow.Left + 1)
                          : 80;
#else
  const bool live = isatty(STDERR_FILENO) == 1;
  winsize size{};
  const int columns = live && ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
#endif
  return std::make_unique<TerminalProgress>(stderr, live, columns);
}
