// The folder side of a download on Windows: UTF-8 paths as UTF-16, the
// system's reasons in UTF-8.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "cli/file_store.h"
#include "text/text.h"
#include "text/wide_text_win.h"

namespace {

std::string SystemText(DWORD code) {
  wchar_t words[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                      words, 512, nullptr);
  const std::string text = TrimText(Utf8Text(std::wstring_view(words, length)));
  return text.empty() ? "system error " + std::to_string(code) : text;
}

std::string Reason(const std::string& what, const std::string& path, DWORD code) {
  return what + " " + path + ": " + SystemText(code);
}

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
constexpr std::intptr_t kNoFile = -1;  // INVALID_HANDLE_VALUE

}  // namespace

std::optional<PathEntry> Inspect(const std::string& path, std::string& why) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(WideText(path).c_str(), GetFileExInfoStandard, &data)) {
    const DWORD code = GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return PathEntry{};
    why = Reason("cannot use", path, code);
    return std::nullopt;
  }
  if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return PathEntry{PathEntry::Kind::kOther, 0};
  }
  const auto size = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return PathEntry{PathEntry::Kind::kFile, size};
}

// Whether files may be made there shows when the .part is opened, with the path in the reason.
std::string FolderProblem(const std::string& folder) {
  const std::string path = folder.empty() ? "." : folder;
  const DWORD attributes = GetFileAttributesW(WideText(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Reason("cannot write to", path, GetLastError());
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "cannot write to " + path + ": not a folder";
  return {};
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  return last == '/' || last == '\\' || last == ':' ? folder + name : folder + "/" + name;
}

std::optional<PartFile> PartFile::Open(const std::string& path, bool append, std::string& why) {
  const HANDLE file = CreateFileW(WideText(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = Reason("cannot write", path, GetLastError());
    return std::nullopt;
  }
  return PartFile(reinterpret_cast<std::intptr_t>(file), path);
}

PartFile::PartFile(PartFile&& other) noexcept : handle_(other.handle_), path_(std::move(other.path_)) {
  other.handle_ = kNoFile;
}

PartFile& PartFile::operator=(PartFile&& other) noexcept {
  if (this != &other) {
    if (handle_ != kNoFile) CloseHandle(AsHandle(handle_));
    handle_ = std::exchange(other.handle_, kNoFile);
    path_ = std::move(other.path_);
  }
  return *this;
}

PartFile::~PartFile() {
  if (handle_ != kNoFile) CloseHandle(AsHandle(handle_));
}

bool PartFile::Write(const char* data, std::size_t size, std::string& why) {
  // WriteFile takes at most a DWORD's worth at once.
  constexpr std::size_t kMaxWrite = std::size_t{1} << 30;
  for (std::size_t at = 0; at < size;) {
    const DWORD chunk = static_cast<DWORD>(std::min(size - at, kMaxWrite));
    DWORD wrote = 0;
    const BOOL ok = WriteFile(AsHandle(handle_), data + at, chunk, &wrote, nullptr);
    if (!ok || wrote == 0) {
      why = Reason("cannot write", path_, ok ? ERROR_DISK_FULL : GetLastError());
      return false;
    }
    at += wrote;
  }
  return true;
}

bool PartFile::Close(std::string& why) {
  const std::intptr_t h = std::exchange(handle_, kNoFile);
  if (h == kNoFile || CloseHandle(AsHandle(h))) return true;
  why = Reason("cannot write", path_, GetLastError());
  return false;
}

bool RemoveFile(const std::string& path, std::string& why) {
  if (DeleteFileW(WideText(path).c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND) return true;
  why = Reason("cannot remove", path, GetLastError());
  return false;
}

bool RenameNoReplace(const std::string& from, const std::string& to, std::string& why) {
  // Without MOVEFILE_REPLACE_EXISTING an existing target makes the move fail.
  if (MoveFileExW(WideText(from).c_str(), WideText(to).c_str(), 0)) return true;
  why = "cannot rename " + from + " to " + to + ": " + SystemText(GetLastError());
  return false;
}
