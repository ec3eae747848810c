// The download's decisions, whatever the system: which name the file takes,
// what an answer's status means for the .part, when a file is complete. The
// requests go through a FileWire, the bytes through a PartFile.
#include "cli/download.h"

#include <charconv>

#include "cli/file_name.h"
#include "cli/file_store.h"
#include "cli/file_wire.h"

namespace {

std::string_view Trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal number that fits, or nullopt.
std::optional<std::int64_t> Number(std::string_view s) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc() || end != s.data() + s.size() || value < 0) return std::nullopt;
  return value;
}

// The "FIRST-LAST/TOTAL" after "bytes ", case-insensitively.
std::optional<std::string_view> AfterUnit(std::string_view value) {
  value = Trimmed(value);
  constexpr std::string_view kUnit = "bytes ";
  if (value.size() < kUnit.size()) return std::nullopt;
  for (std::size_t i = 0; i < kUnit.size(); ++i) {
    const char c = value[i];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != kUnit[i]) return std::nullopt;
  }
  return Trimmed(value.substr(kUnit.size()));
}

}  // namespace

std::optional<ContentRange> ParseContentRange(std::string_view value) {
  const auto rest = AfterUnit(value);
  if (!rest) return std::nullopt;
  const std::size_t dash = rest->find('-');
  const std::size_t slash = rest->find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) return std::nullopt;
  const auto first = Number(rest->substr(0, dash));
  const auto last = Number(rest->substr(dash + 1, slash - dash - 1));
  const std::string_view totalText = rest->substr(slash + 1);
  const auto total = totalText == "*" ? std::optional<std::int64_t>(-1) : Number(totalText);
  if (!first || !last || !total || *last < *first || (*total >= 0 && *last >= *total)) return std::nullopt;
  return ContentRange{*first, *last, *total};
}

std::int64_t UnsatisfiedRangeTotal(std::string_view value) {
  const auto rest = AfterUnit(value);
  if (!rest || !rest->starts_with("*/")) return -1;
  return Number(rest->substr(2)).value_or(-1);
}

namespace {

// After this many files of the same name, the folder is someone else's business.
constexpr int kMaxNumberedNames = 1000;

// One GET of the file into its .part: the answer's status decides, at its
// head, whether the body is the rest of the .part (206 from its end) or the
// whole file again (200).
class PartWriter : public FileReceiver {
 public:
  PartWriter(std::string partPath, std::int64_t offset, ProgressSink& progress, int id)
      : partPath_(std::move(partPath)), offset_(offset), progress_(progress), id_(id) {}

  bool OnHead(const FileHead& head) override {
    started_ = true;
    status_ = head.status;
    if (status_ == 416 && offset_ > 0) {
      unsatisfiedTotal_ = UnsatisfiedRangeTotal(head.contentRange);
      discard_ = true;  // judged once the answer is over
      return true;
    }
    if (status_ != 200 && status_ != 206) {
      failure_ = "the server answered " + std::to_string(status_);
      return false;
    }
    bool append = false;
    if (status_ == 206) {
      const auto range = ParseContentRange(head.contentRange);
      if (!range || range->first != offset_) {
        failure_ = "the server sent a range that does not start at byte " + std::to_string(offset_);
        return false;
      }
      total_ = range->total;
      written_ = offset_;
      append = true;
    } else {
      total_ = head.length;
      written_ = 0;  // a server that ignores Range sends the whole file again
    }
    file_ = PartFile::Open(partPath_, append, failure_);
    if (!file_) return false;
    progress_.Advance(id_, written_, total_);
    return true;
  }

  bool OnBody(const char* data, std::size_t size) override {
    if (discard_) return true;
    if (!file_->Write(data, size, failure_)) return false;
    written_ += static_cast<std::int64_t>(size);
    fetched_ += static_cast<std::int64_t>(size);
    progress_.Advance(id_, written_, total_);
    return true;
  }

  // Closes the .part; a write the system refused only then becomes the failure.
  void Finish() {
    std::string why;
    if (file_ && !file_->Close(why) && failure_.empty()) failure_ = std::move(why);
  }

  bool started() const { return started_; }
  long status() const { return status_; }
  bool refused() const { return discard_; }
  std::int64_t unsatisfiedTotal() const { return unsatisfiedTotal_; }
  std::int64_t written() const { return written_; }
  std::int64_t total() const { return total_; }
  std::int64_t fetched() const { return fetched_; }
  const std::string& failure() const { return failure_; }

 private:
  std::string partPath_;
  std::int64_t offset_;  // bytes in the .part when the request went out
  ProgressSink& progress_;
  int id_;
  bool started_ = false;
  long status_ = 0;
  bool discard_ = false;                // a 416's body: no part of the file
  std::int64_t unsatisfiedTotal_ = -1;  // a 416's "bytes */TOTAL"
  std::optional<PartFile> file_;        // opened at the answer's head
  std::int64_t written_ = 0;            // bytes in the .part now
  std::int64_t total_ = -1;             // the whole file's bytes, when the answer says
  std::int64_t fetched_ = 0;
  std::string failure_;                 // why the transfer was stopped from inside
};

// The server's size of the file: -1 when it does not say; nullopt and why
// when it cannot be asked.
std::optional<std::int64_t> ServerSize(FileWire& wire, std::string& why) {
  std::string words;
  const auto head = wire.Head(words);
  if (!head) {
    why = "cannot reach the file: " + words;
    return std::nullopt;
  }
  // A server that takes no HEAD leaves the size unknown: the existing file is then kept.
  if (head->status == 405 || head->status == 501) return -1;
  if (head->status >= 400) {
    why = "the server answered " + std::to_string(head->status);
    return std::nullopt;
  }
  return head->length;
}

std::int64_t PartSize(const std::string& path) {
  std::string ignored;
  const auto entry = Inspect(path, ignored);
  return entry && entry->kind == PathEntry::Kind::kFile ? entry->size : 0;
}

}  // namespace

DownloadResult DownloadFile(const std::string& url, const std::string& folder, const std::string& name,
                            const std::string& agent, ProgressSink& progress) {
  DownloadResult result;
  // Room for the .part's suffix: the name and its .part fit the folder's limit alike.
  const std::size_t room = kMaxFileNameBytes - kPartSuffix.size();
  const std::string safe = SafeFileName(name, room);
  const int id = progress.Begin(safe, 0, -1);
  auto fail = [&](std::string why) {
    result.error = std::move(why);
    progress.End(id, false, result.error);
    return result;
  };

  if (std::string why = FolderProblem(folder); !why.empty()) return fail(why);
  std::string why;
  const std::unique_ptr<FileWire> wire = OpenFileWire(url, agent, why);
  if (!wire) return fail(why);

  // The first name not taken by a file, unless a file of the server's size already has it.
  std::optional<std::int64_t> serverSize;
  std::string path;
  for (int n = 0; path.empty(); ++n) {
    if (n > kMaxNumberedNames) return fail("too many files named like " + JoinPath(folder, safe));
    const std::string candidate = JoinPath(folder, n == 0 ? safe : NumberedFileName(safe, n, room));
    const auto entry = Inspect(candidate, why);
    if (!entry) return fail(why);
    if (entry->kind == PathEntry::Kind::kNothing) {
      path = candidate;
      break;
    }
    if (!serverSize) {
      serverSize = ServerSize(*wire, why);
      if (!serverSize) return fail(why);
    }
    if (entry->kind == PathEntry::Kind::kFile && *serverSize >= 0 && entry->size == *serverSize) {
      result.ok = true;
      result.path = candidate;
      result.size = *serverSize;
      result.outcome = "already there";
      progress.Advance(id, result.size, result.size);
      progress.End(id, true, result.outcome + ": " + candidate);
      return result;
    }
  }

  const std::string partPath = path + std::string(kPartSuffix);
  bool askedAgain = false;  // a 416 for a .part that is not whole is asked once without its range
  for (;;) {
    const std::int64_t offset = PartSize(partPath);
    PartWriter writer(partPath, offset, progress, id);
    std::string words;
    const bool whole = wire->Get(offset, writer, words);
    writer.Finish();
    result.fetched = writer.fetched();
    result.size = writer.total();

    const bool keptPart = writer.started() && writer.written() > 0;
    const std::string resume = keptPart ? "; " + partPath + " is kept: run again to resume" : "";
    if (!writer.failure().empty()) {
      result.path = keptPart ? partPath : "";
      return fail(writer.failure() + resume);
    }
    if (!whole) {
      result.path = keptPart ? partPath : "";
      if (!writer.started()) return fail("cannot download: " + words);
      const std::string of = writer.total() >= 0 ? " of " + std::to_string(writer.total()) : "";
      return fail("the connection broke after " + std::to_string(writer.written()) + of + " bytes (" + words + ")" +
                  resume);
    }
    if (writer.refused()) {
      // The .part may already hold the whole file (a run stopped before its rename).
      if (writer.unsatisfiedTotal() != offset) {
        if (askedAgain) return fail("the server refuses every range of the file (416)");
        askedAgain = true;
        if (!RemoveFile(partPath, why)) return fail(why);
        continue;
      }
      result.size = offset;
    } else if (writer.total() >= 0 && writer.written() != writer.total()) {
      result.path = partPath;
      return fail("the file arrived with " + std::to_string(writer.written()) + " of " +
                  std::to_string(writer.total()) + " bytes" + resume);
    } else {
      result.size = writer.written();
    }
    if (!RenameNoReplace(partPath, path, why)) {
      result.path = partPath;
      return fail(why);
    }
    result.ok = true;
    result.path = path;
    result.outcome = offset > 0 && writer.status() == 206 ? "resumed and saved" : "saved";
    progress.End(id, true, result.outcome + ": " + path);
    return result;
  }
}
