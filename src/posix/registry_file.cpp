#include "posix/registry_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace velmora {

namespace {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }
  [[nodiscard]] bool valid() const { return fd_ >= 0; }
  // Close errors are where delayed write errors surface on some file systems.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadWholeFile(const std::filesystem::path& path, std::string& out) {
  Fd fd{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!fd.valid()) {
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  }
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return ReadResult::kFailed;
  out.clear();
  char buffer[65536];
  while (true) {
    const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
    if (got == 0) return ReadResult::kRead;
    if (got < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kFailed;
    }
    out.append(buffer, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t wrote = ::write(fd, text.data(), text.size());
    if (wrote < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return true;
}

// A settings file linked in from elsewhere (a dotfiles checkout) stays a link: the target
// is replaced, not the link.
std::filesystem::path FollowLinks(std::filesystem::path path) {
  for (int hops = 0; hops < 16; ++hops) {
    std::error_code error;
    if (!std::filesystem::is_symlink(path, error)) break;
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path;
}

void SyncDirectory(const std::filesystem::path& directory) {
  Fd fd{::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (fd.valid()) ::fsync(fd.get());
}

// Writes `text` beside `path` and renames it over, so the file is always one whole version.
bool ReplaceFile(const std::filesystem::path& path, std::string_view text,
                 std::optional<mode_t> mode) {
  std::filesystem::path temporary = path;
  temporary += ".tmp";
  Fd fd{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666)};
  if (!fd.valid()) return false;
  bool written = (!mode || ::fchmod(fd.get(), *mode) == 0) && WriteAll(fd.get(), text) &&
                 ::fsync(fd.get()) == 0;
  written = fd.Close() && written;
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(path.parent_path());
  return true;
}

}  // namespace

void RegistryFile::SetValue(RegistryRoot root, std::u16string_view keyPath,
                            std::u16string_view name, const RegistryValue& value) {
  try {
    const std::filesystem::path path = FollowLinks(path_);
    if (path.has_parent_path()) {
      std::error_code ignored;
      std::filesystem::create_directories(path.parent_path(), ignored);
    }
    std::filesystem::path lockPath = path;
    lockPath += ".lock";
    // Read access is enough for flock, so a lock file made by another user still serves.
    Fd lock{::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644)};
    if (!lock.valid()) return;
    while (::flock(lock.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return;
    }

    std::string before;
    const ReadResult read = ReadWholeFile(path, before);
    // A file that exists but cannot be read is never replaced: its values would be lost.
    if (read == ReadResult::kFailed) return;
    std::optional<mode_t> mode;
    if (read == ReadResult::kRead) {
      // Renaming ignores the file's own write permission; a file made read-only stays as it is.
      if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return;
      struct stat info {};
      if (::stat(path.c_str(), &info) == 0) mode = info.st_mode & 07777;
    }

    RegistryDocument document = RegistryDocument::Parse(before);
    if (!document.Set(root, keyPath, name, value)) return;
    const std::string after = document.Text();
    if (read == ReadResult::kRead && after == before) return;
    ReplaceFile(path, after, mode);
  } catch (const std::exception&) {
    // Out of memory on a huge value, or a path the library refuses: the write is dropped.
  }
}

std::optional<RegistryValue> RegistryFile::QueryValue(RegistryRoot root,
                                                      std::u16string_view keyPath,
                                                      std::u16string_view name) const {
  try {
    std::string text;
    if (ReadWholeFile(path_, text) != ReadResult::kRead) return std::nullopt;
    return RegistryDocument::Parse(text).Find(root, keyPath, name);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::filesystem::path DefaultRegistryFilePath() {
  std::filesystem::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && home[0] != '\0') {
    base = std::filesystem::path{home} / ".config";
  }
  return base / "velmora" / "registry.reg";
}

}  // namespace velmora
