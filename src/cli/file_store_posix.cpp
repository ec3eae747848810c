// The folder side of a download on POSIX systems.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "cli/file_store.h"

namespace {

std::string Reason(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

}  // namespace

std::optional<PathEntry> Inspect(const std::string& path, std::string& why) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return PathEntry{};
    why = Reason("cannot use", path, errno);
    return std::nullopt;
  }
  if (!S_ISREG(st.st_mode)) return PathEntry{PathEntry::Kind::kOther, 0};
  return PathEntry{PathEntry::Kind::kFile, static_cast<std::int64_t>(st.st_size)};
}

std::string FolderProblem(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Reason("cannot write to", path, errno);
  if (!S_ISDIR(st.st_mode)) return "cannot write to " + path + ": not a folder";
  if (::access(path.c_str(), W_OK | X_OK) != 0) return Reason("cannot write to", path, errno);
  return {};
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.empty() ? name : folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::optional<PartFile> PartFile::Open(const std::string& path, bool append, std::string& why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0644);
  if (fd < 0) {
    why = Reason("cannot write", path, errno);
    return std::nullopt;
  }
  return PartFile(fd, path);
}

PartFile::PartFile(PartFile&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = -1;
}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
  if (this != &other) {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

PartFile::~PartFile() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool PartFile::Write(const char* data, std::size_t size, std::string& why) {
  for (std::size_t at = 0; at < size;) {
    const ssize_t n = ::write(static_cast<int>(handle_), data + at, size - at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      why = Reason("cannot write", path_, n < 0 ? errno : ENOSPC);
      return false;
    }
    at += static_cast<std::size_t>(n);
  }
  return true;
}

bool PartFile::Close(std::string& why) {
  const int fd = static_cast<int>(std::exchange(handle_, -1));
  if (fd < 0 || ::close(fd) == 0) return true;
  why = Reason("cannot write", path_, errno);
  return false;
}

bool RemoveFile(const std::string& path, std::string& why) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  why = Reason("cannot remove", path, errno);
  return false;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& why) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  why = "cannot rename " + from + " to " + to + ": " + std::strerror(errno);
  return false;
}
