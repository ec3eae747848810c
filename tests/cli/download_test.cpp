// Downloads of the files behind direct links, against the fake service on
// loopback, over libcurl natively and over wininet under Wine: the bytes
// checked against the service's pattern, resumption read from its request
// log, and the progress lines.
#include "cli/download.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "http/request.h"
#include "support/fake_service.h"

namespace {

using fake_service::Origin;
using fake_service::RequestsMatching;
using fake_service::UniqueToken;

// The agent the command hands every download.
const std::string kAgent(kDefaultAgent);
// Where the service's test file is cut once.
constexpr std::int64_t kCut = 300000;
constexpr std::int64_t kFileSize = 1 << 20;

// A UTF-8 path, as the download takes them, for the standard library.
std::filesystem::path Path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool Exists(const std::string& path) { return std::filesystem::exists(Path(path)); }

// A fresh folder of the test's own, removed with what it holds at the end.
struct TempFolder {
  TempFolder() {
    static std::atomic<int> count{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path = Utf8(std::filesystem::temp_directory_path() /
                ("download-test-" + std::to_string(stamp) + "-" + std::to_string(count++)));
    std::filesystem::create_directories(Path(path));
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Path(path), ignored);
  }
  std::string path;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(Path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(Path(path), std::ios::binary) << bytes;
}

// The file the service serves for this fs_id: byte i is (i * 131 + fs_id) % 251.
std::string Pattern(std::int64_t fsId, std::int64_t size) {
  std::string out(static_cast<std::size_t>(size), '\0');
  for (std::int64_t i = 0; i < size; ++i) out[i] = static_cast<char>((i * 131 + fsId) % 251);
  return out;
}

// A direct link to a file of `size` bytes; `token` tells this test's requests apart.
std::string Dlink(std::int64_t fsId, const std::string& token, const std::string& extra = "") {
  return Origin() + "/file/" + std::to_string(fsId) + "/f.bin?sign=abc&expires=8h&size=" +
         std::to_string(kFileSize) + "&t=" + token + extra;
}

// Counts what a download reports.
class RecordingProgress : public ProgressSink {
 public:
  int Begin(const std::string& name, std::int64_t, std::int64_t) override {
    names.push_back(name);
    return ++begun;
  }
  void Advance(int, std::int64_t done, std::int64_t total) override {
    lastDone = done;
    lastTotal = total;
  }
  void End(int, bool, const std::string&) override { ++ended; }
  std::vector<std::string> names;
  int begun = 0;
  int ended = 0;
  std::int64_t lastDone = -1;
  std::int64_t lastTotal = -1;
};

TEST(DownloadFile, SavesTheWholeFileWithTheAgent) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  const std::string token = UniqueToken();
  RecordingProgress progress;
  const DownloadResult r = DownloadFile(Dlink(901001, token), folder, "whole.bin", kAgent, progress);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.outcome, "saved");
  EXPECT_EQ(r.path, folder + "/whole.bin");
  EXPECT_EQ(r.size, kFileSize);
  EXPECT_EQ(ReadAll(r.path), Pattern(901001, kFileSize));
  EXPECT_FALSE(Exists(r.path + ".part"));
  EXPECT_EQ(progress.begun, 1);
  EXPECT_EQ(progress.ended, 1);
  EXPECT_EQ(progress.lastDone, kFileSize);
  EXPECT_EQ(progress.lastTotal, kFileSize);
  const auto sent = RequestsMatching(token);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].Header("User-Agent"), kAgent);
  EXPECT_EQ(sent[0].HeaderCount("Range"), 0);
}

TEST(DownloadFile, ARerunFetchesOnlyWhatACutLeftOut) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  const std::string token = UniqueToken();
  const std::string url = Dlink(901025, token, "&cut=" + std::to_string(kCut));
  QuietProgress quiet;
  const DownloadResult cut = DownloadFile(url, folder, "cut.bin", kAgent, quiet);
  EXPECT_FALSE(cut.ok);
  EXPECT_NE(cut.error.find("run again to resume"), std::string::npos) << cut.error;
  EXPECT_EQ(cut.path, folder + "/cut.bin.part");
  EXPECT_EQ(std::filesystem::file_size(Path(cut.path)), static_cast<std::uintmax_t>(kCut));

  const DownloadResult rest = DownloadFile(url, folder, "cut.bin", kAgent, quiet);
  ASSERT_TRUE(rest.ok) << rest.error;
  EXPECT_EQ(rest.outcome, "resumed and saved");
  EXPECT_EQ(rest.fetched, kFileSize - kCut);
  EXPECT_EQ(ReadAll(folder + "/cut.bin"), Pattern(901025, kFileSize));
  const auto sent = RequestsMatching(token);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].HeaderCount("Range"), 0);
  EXPECT_EQ(sent[1].Header("Range"), "bytes=" + std::to_string(kCut) + "-");
}

TEST(DownloadFile, AServerThatIgnoresRangesStartsItOver) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  const std::string url = Dlink(901026, UniqueToken(), "&norange=1&cut=" + std::to_string(kCut));
  QuietProgress quiet;
  EXPECT_FALSE(DownloadFile(url, folder, "norange.bin", kAgent, quiet).ok);
  const DownloadResult again = DownloadFile(url, folder, "norange.bin", kAgent, quiet);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.outcome, "saved");
  EXPECT_EQ(again.fetched, kFileSize);
  EXPECT_EQ(ReadAll(folder + "/norange.bin"), Pattern(901026, kFileSize));
}

TEST(DownloadFile, AFinishedPartIsRenamedWithoutItsBytesAgain) {
  // A run that stopped between the last byte and the rename: the server refuses the range (416).
  const TempFolder temp;
  const std::string& folder = temp.path;
  WriteAll(folder + "/done.bin.part", Pattern(901003, kFileSize));
  QuietProgress quiet;
  const DownloadResult r = DownloadFile(Dlink(901003, UniqueToken()), folder, "done.bin", kAgent, quiet);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.fetched, 0);
  EXPECT_EQ(ReadAll(folder + "/done.bin"), Pattern(901003, kFileSize));
}

TEST(DownloadFile, ExistingFiles) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  QuietProgress quiet;
  // Another file of the same name is kept; the new one is numbered.
  WriteAll(folder + "/same.bin", "someone else's file");
  const DownloadResult numbered = DownloadFile(Dlink(901004, UniqueToken()), folder, "same.bin", kAgent, quiet);
  ASSERT_TRUE(numbered.ok) << numbered.error;
  EXPECT_EQ(numbered.path, folder + "/same (1).bin");
  EXPECT_EQ(ReadAll(folder + "/same.bin"), "someone else's file");
  EXPECT_EQ(ReadAll(numbered.path), Pattern(901004, kFileSize));

  // The complete file is found under its numbered name and not fetched again.
  const std::string token = UniqueToken();
  const DownloadResult skipped = DownloadFile(Dlink(901004, token), folder, "same.bin", kAgent, quiet);
  ASSERT_TRUE(skipped.ok) << skipped.error;
  EXPECT_EQ(skipped.outcome, "already there");
  EXPECT_EQ(skipped.path, folder + "/same (1).bin");
  EXPECT_EQ(skipped.fetched, 0);
  for (const LoggedRequest& r : RequestsMatching(token)) EXPECT_TRUE(r.requestLine.starts_with("HEAD ")) << r.requestLine;
  EXPECT_FALSE(Exists(folder + "/same (2).bin"));
}

TEST(DownloadFile, Failures) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  const std::string missing = folder + "/no/such/folder";
  const struct {
    const char* name;
    std::string url;
    std::string folder;
    std::string inReason;
  } cases[] = {
      {"404", Origin() + "/file/x/f.bin?t=" + UniqueToken(), folder, "404"},
      {"a folder that is not there", Dlink(901005, UniqueToken()), missing, missing},
      {"a refused connection", "http://127.0.0.1:1/file/1/f.bin", folder, "cannot download"},
  };
  for (const auto& c : cases) {
    RecordingProgress progress;
    const DownloadResult r = DownloadFile(c.url, c.folder, "fail.bin", kAgent, progress);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_NE(r.error.find(c.inReason), std::string::npos) << c.name << ": " << r.error;
    EXPECT_EQ(progress.ended, 1) << c.name;
    EXPECT_FALSE(Exists(folder + "/fail.bin")) << c.name;
    EXPECT_FALSE(Exists(folder + "/fail.bin.part")) << c.name;
  }
}

#ifndef _WIN32
TEST(DownloadFile, AWriteTheSystemRefusesKeepsWhatWasWritten) {
  // A file size limit makes the system refuse a write midway, as a full disk does.
  constexpr rlim_t kLimit = 100000;
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit limit = old;
  limit.rlim_cur = kLimit;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const TempFolder temp;
  QuietProgress quiet;
  const DownloadResult r = DownloadFile(Dlink(901008, UniqueToken()), temp.path, "big.bin", kAgent, quiet);
  setrlimit(RLIMIT_FSIZE, &old);
  const std::string part = temp.path + "/big.bin.part";
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "cannot write " + part + ": " + std::strerror(EFBIG) + "; " + part +
                         " is kept: run again to resume");
  EXPECT_EQ(r.path, part);
  EXPECT_EQ(ReadAll(part), Pattern(901008, kLimit));
  EXPECT_FALSE(Exists(temp.path + "/big.bin"));
}
#endif

TEST(DownloadFile, NamesStayPlainNamesInTheFolder) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  const struct {
    const char* name;
    const char* saved;
  } cases[] = {
      {"../con.txt", ".._con.txt"},
      {"中文 文件.txt", "中文 文件.txt"},  // a wide name on Windows, UTF-8 on Linux
      {"a\\b:c*?.txt", "a_b_c__.txt"},
  };
  for (const auto& c : cases) {
    RecordingProgress progress;
    const DownloadResult r = DownloadFile(Dlink(901006, UniqueToken()), folder, c.name, kAgent, progress);
    ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
    EXPECT_EQ(r.path, folder + "/" + c.saved);
    EXPECT_EQ(ReadAll(folder + "/" + c.saved), Pattern(901006, kFileSize)) << c.name;
    EXPECT_EQ(progress.names, std::vector<std::string>{c.saved});
  }
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Path(folder))) files += entry.is_regular_file();
  EXPECT_EQ(files, std::size(cases));
}

TEST(DownloadFile, AnEmptyFile) {
  const TempFolder temp;
  const std::string& folder = temp.path;
  QuietProgress quiet;
  const std::string url = Origin() + "/file/901007/e.bin?size=0&t=" + UniqueToken();
  const DownloadResult r = DownloadFile(url, folder, "empty.bin", kAgent, quiet);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.size, 0);
  EXPECT_TRUE(Exists(folder + "/empty.bin"));
}

// What a progress sink wrote to its stream.
std::string Written(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  for (int c; (c = std::fgetc(f)) != EOF;) out.push_back(static_cast<char>(c));
  std::fseek(f, 0, SEEK_END);  // the next write goes after what was read
  return out;
}

TEST(TerminalProgress, NotATerminalOneLinePerFinishedFile) {
  std::FILE* f = std::tmpfile();
  TerminalProgress::Clock::time_point now{};
  TerminalProgress progress(f, false, 80, [&] { return now; });
  const int a = progress.Begin("a.bin", 0, -1);
  const int b = progress.Begin("b.bin", 0, -1);
  progress.Advance(a, 0, 2 << 20);
  now += std::chrono::seconds(2);
  progress.Advance(a, 2 << 20, 2 << 20);
  EXPECT_EQ(Written(f), "");
  progress.End(a, true, "saved");
  progress.End(b, false, "the server answered 404");
  EXPECT_EQ(Written(f), "a.bin: saved (2.0 MiB in 2.0 s, 1.0 MiB/s)\nb.bin: the server answered 404\n");
  std::fclose(f);
}

TEST(TerminalProgress, LiveLinesAreRedrawnInPlaceTenTimesASecondAtMost) {
  std::FILE* f = std::tmpfile();
  TerminalProgress::Clock::time_point now{};
  TerminalProgress progress(f, true, 80, [&] { return now; });
  const int a = progress.Begin("a.bin", 0, -1);
  progress.Begin("中文.bin", 0, -1);
  progress.Advance(a, 1 << 20, 4 << 20);
  now += std::chrono::milliseconds(50);
  progress.Advance(a, 2 << 20, 4 << 20);  // too soon after the last drawing
  EXPECT_EQ(Written(f).find("50%"), std::string::npos);
  now += std::chrono::milliseconds(60);
  progress.Advance(a, 2 << 20, 4 << 20);
  const std::string drawn = Written(f);
  // Up over the two lines drawn before, each line cleared and drawn again.
  EXPECT_EQ(drawn.substr(drawn.rfind("\x1b[2F")),
            "\x1b[2F\x1b[2Ka.bin" + std::string(16, ' ') + "  50%  2.0 MiB / 4.0 MiB\n\x1b[2K中文.bin" +
                std::string(13, ' ') + "   ?%  0 B\n\x1b[J");
  std::fclose(f);
}

}  // namespace
