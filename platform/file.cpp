#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace {

FileError ErrorFor(int error_number, const std::string& path) {
  return FileError{FileErrorCauseFromErrno(error_number), path};
}

// Holds the whole file with an open file description lock: it conflicts with
// every other open of the file, also within this process, and goes with the
// last descriptor of this open.
int HoldExclusively(int fd, HoldMode hold) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = 0;
  lock.l_len = 0;
  const int command = hold == HoldMode::kWait ? F_OFD_SETLKW : F_OFD_SETLK;
  for (;;) {
    if (fcntl(fd, command, &lock) == 0) return 0;
    if (errno == EINTR) continue;
    return errno;
  }
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Where a replacement of path really goes: through a symbolic link to the file
// it names, so the link survives.
std::string ReplacementTarget(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* resolved = realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string target(resolved);
  std::free(resolved);
  return target;
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path, std::string disk_path)
      : fd_(fd), path_(std::move(path)), disk_path_(std::move(disk_path)) {}
  ~PosixFile() override { Close(); }

  const std::string& Path() const override { return path_; }
  const std::string& DiskPath() const { return disk_path_; }
  void Rename(std::string path, std::string disk_path) {
    path_ = std::move(path);
    disk_path_ = std::move(disk_path);
  }

  FileStatus Read(void* buffer, std::size_t size, std::size_t& done) override {
    done = 0;
    if (fd_ < 0) return FileError{6, path_};
    for (;;) {
      const ssize_t got = ::read(fd_, buffer, size);
      if (got >= 0) {
        done = static_cast<std::size_t>(got);
        return std::nullopt;
      }
      if (errno != EINTR) return ErrorFor(errno, path_);
    }
  }

  FileStatus Write(const void* data, std::size_t size) override {
    if (fd_ < 0) return FileError{6, path_};
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
      const ssize_t put = ::write(fd_, bytes, size);
      if (put < 0) {
        if (errno == EINTR) continue;
        return ErrorFor(errno, path_);
      }
      if (put == 0) return FileError{13, path_};
      bytes += put;
      size -= static_cast<std::size_t>(put);
    }
    return std::nullopt;
  }

  FileStatus Seek(std::uint64_t offset) override {
    if (fd_ < 0) return FileError{6, path_};
    if (offset > static_cast<std::uint64_t>(LLONG_MAX)) return FileError{9, path_};
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) {
      const int e = errno;
      if (e == EINVAL || e == ESPIPE || e == EOVERFLOW) return FileError{9, path_};
      return ErrorFor(e, path_);
    }
    return std::nullopt;
  }

  FileStatus Length(std::uint64_t& length) override {
    length = 0;
    if (fd_ < 0) return FileError{6, path_};
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return ErrorFor(errno, path_);
    length = static_cast<std::uint64_t>(st.st_size);
    return std::nullopt;
  }

  FileStatus Flush() override {
    if (fd_ < 0) return FileError{6, path_};
    if (::fsync(fd_) != 0) return ErrorFor(errno, path_);
    return std::nullopt;
  }

  std::optional<FileId> Id() const override {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  void Close() override {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::string path_;        // what messages name
  std::string disk_path_;   // the file's name on disk now
};

// A name for a replacement that no other writer picks: the target's name, the
// process, a counter, and the clock for another process with the same id.
std::string ReplacementName(const std::string& folder, const std::string& base) {
  static std::atomic<unsigned> counter{0};
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  const std::string stem = base.substr(0, 160);
  return folder + "/." + stem + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(counter++) + "-" + std::to_string(now.tv_nsec % 1000000);
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, HoldMode hold,
                             FileError& error) override {
    int flags = O_RDWR | O_CLOEXEC | O_NOCTTY;
    if (mode == OpenMode::kCreate) flags |= O_CREAT;
    const int fd = ::open(path.c_str(), flags, 0666);
    if (fd < 0) {
      error = ErrorFor(errno, path);
      return nullptr;
    }
    if (const int e = HoldExclusively(fd, hold); e != 0) {
      ::close(fd);
      error = FileError{(e == EAGAIN || e == EACCES) ? 11 : FileErrorCauseFromErrno(e), path};
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd, AbsolutePath(path), path);
  }

  std::unique_ptr<File> CreateReplacementFor(const std::string& path, FileError& error) override {
    const std::string target = ReplacementTarget(path);
    const std::string folder = FolderOf(target);
    const std::string base = BaseNameOf(target);
    struct stat existing {};
    const bool has_target = ::stat(target.c_str(), &existing) == 0;
    if (has_target && !S_ISREG(existing.st_mode)) {
      // A folder, device or pipe is never replaced by a file (think of /dev/null).
      error = FileError{5, path};
      return nullptr;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = ReplacementName(folder, base);
      const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        error = ErrorFor(errno, path);
        return nullptr;
      }
      if (has_target) {
        // The replacement takes the place of the old file: same owner (where
        // we may set it) and permissions.
        (void)!::fchown(fd, existing.st_uid, existing.st_gid);
        (void)::fchmod(fd, existing.st_mode & 07777);
      }
      if (const int e = HoldExclusively(fd, HoldMode::kFailIfHeld); e != 0) {
        ::close(fd);
        ::unlink(name.c_str());
        error = FileError{FileErrorCauseFromErrno(e), path};
        return nullptr;
      }
      return std::make_unique<PosixFile>(fd, AbsolutePath(path), name);
    }
    error = FileError{8, path};   // "could not be created because the directory is full"
    return nullptr;
  }

  FileStatus ReplaceWith(File& replacement, const std::string& path) override {
    auto* file = dynamic_cast<PosixFile*>(&replacement);
    if (!file) return FileError{6, path};
    const std::string target = ReplacementTarget(path);
    if (::rename(file->DiskPath().c_str(), target.c_str()) != 0) return ErrorFor(errno, path);
    file->Rename(AbsolutePath(path), target);
    // The rename itself must survive a crash too. The contents are already
    // flushed and the new name is in place, so a folder that cannot be synced
    // (some file systems refuse) is no reason to report failure.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      (void)::fsync(dir);
      ::close(dir);
    }
    return std::nullopt;
  }

  void Discard(std::unique_ptr<File> replacement) override {
    if (!replacement) return;
    auto* file = dynamic_cast<PosixFile*>(replacement.get());
    const std::string name = file ? file->DiskPath() : std::string();
    replacement->Close();
    if (!name.empty()) ::unlink(name.c_str());
  }

  std::optional<FileId> IdOf(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem files;
  return files;
}

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return path;
  std::string absolute(cwd);
  std::free(cwd);
  if (absolute.back() != '/') absolute += '/';
  return absolute + path;
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  // A settings store is a few lines; anything this large is not one (or is a
  // device that never ends).
  constexpr std::size_t kMaxSize = 16u << 20;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  std::string contents;
  char buffer[8192];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (got == 0) break;
    contents.append(buffer, static_cast<std::size_t>(got));
    if (contents.size() > kMaxSize) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return contents;
}

FileStatus ReplaceFileContents(FileSystem& files, const std::string& path,
                               const std::string& contents) {
  FileError error;
  std::unique_ptr<File> replacement = files.CreateReplacementFor(path, error);
  if (!replacement) return error;
  FileStatus status = replacement->Write(contents.data(), contents.size());
  if (!status) status = replacement->Flush();
  if (!status) status = files.ReplaceWith(*replacement, path);
  if (status) {
    files.Discard(std::move(replacement));
    return status;
  }
  replacement->Close();
  return std::nullopt;
}
