// The folder side of a download: what a name holds, the .part written as the
// body arrives, and the final rename. Paths are UTF-8 on every system;
// reasons carry the path and the system's words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// What a path holds.
struct PathEntry {
  enum class Kind { kNothing, kFile, kOther } kind = Kind::kNothing;
  std::int64_t size = 0;  // a file's bytes
};
// nullopt and why when the path cannot be looked at.
std::optional<PathEntry> Inspect(const std::string& path, std::string& why);

// Why files cannot be made in `folder` ("" for the current one), or "" when they can.
std::string FolderProblem(const std::string& folder);

// "folder/name" ("name" when the folder is "").
std::string JoinPath(const std::string& folder, const std::string& name);

// A file being written; closed by its owner.
class PartFile {
 public:
  // Opened at its end (`append`) or emptied; nullopt and why when it cannot be.
  static std::optional<PartFile> Open(const std::string& path, bool append, std::string& why);
  PartFile(PartFile&& other) noexcept;
  PartFile& operator=(PartFile&& other) noexcept;
  PartFile(const PartFile&) = delete;
  PartFile& operator=(const PartFile&) = delete;
  ~PartFile();

  // All of the bytes, or false and why (a full disk among others).
  bool Write(const char* data, std::size_t size, std::string& why);
  // Closes it, reporting what the system found only at the close.
  bool Close(std::string& why);

 private:
  explicit PartFile(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  std::intptr_t handle_;  // the system's file handle or descriptor
  std::string path_;
};

bool RemoveFile(const std::string& path, std::string& why);
// Renames `from` to `to` unless `to` exists: a file that appeared meanwhile is never replaced.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string& why);
