// Saving the file behind a direct link into a folder: written as NAME.part
// as it arrives, resumed by a rerun, renamed to NAME once complete.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "cli/progress.h"

// What a download left behind.
struct DownloadResult {
  bool ok = false;
  std::string path;     // the saved (or already present) file; on a failure the .part kept, or ""
  std::string outcome;  // "saved", "resumed and saved" or "already there" when ok
  std::string error;    // why it failed, with the path or the server's status; "" when ok
  std::int64_t size = -1;     // the file's bytes, -1 when unknown
  std::int64_t fetched = 0;   // bytes received by this run
};

// Downloads `url` into `folder` as SafeFileName(name), sending `agent` (the
// resolver's, kDefaultAgent). A .part of an earlier run is resumed; an existing
// file of the server's size is left as it is ("already there"); any other
// existing file keeps its name and the new one is numbered ("name (1).ext").
// Memory stays the same whatever the file's size. Reports to `progress`
// (Begin, Advance, End once each file). Safe to run on several threads at once
// for different files.
DownloadResult DownloadFile(const std::string& url, const std::string& folder, const std::string& name,
                            const std::string& agent, ProgressSink& progress);

// The parts below are the download's own, shared with its tests.

// What a .part is called beside its file.
inline constexpr std::string_view kPartSuffix = ".part";

// A "Content-Range: bytes FIRST-LAST/TOTAL" value (TOTAL may be "*": -1).
struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(std::string_view value);
// "bytes */TOTAL" of a 416 answer: TOTAL, or -1.
std::int64_t UnsatisfiedRangeTotal(std::string_view value);
