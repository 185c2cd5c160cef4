#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform/replacement_name.h"

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

// Whether a link in folder is one the kernel's protected_symlinks rule would
// not follow: in a sticky, world-writable folder (/tmp), a link owned by
// neither us nor the folder's owner may have been planted by another user to
// make us write where we never meant to. Checked here too, since the rule is
// a setting that may be off.
bool IsForeignLinkInStickyFolder(const struct stat& link, const std::string& folder) {
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0) return true;  // cannot tell: do not follow
  const bool sticky_world_writable = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
  return sticky_world_writable && link.st_uid != ::geteuid() && link.st_uid != dir.st_uid;
}

// Where a replacement of path really goes: symbolic links are followed (so a
// link survives and the file it names is replaced) component by component,
// each checked as above. A last link that points nowhere is itself replaced.
std::optional<std::string> ReplacementTarget(const std::string& path, FileError& error) {
  const std::string absolute = AbsolutePath(path);
  if (absolute.empty() || absolute.front() != '/') {
    error = ErrorFor(path.empty() ? ENOENT : errno, path);
    return std::nullopt;
  }
  // Components still to walk, the next one last.
  std::vector<std::string> pending;
  auto push_components = [&pending](const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
      const std::size_t slash = std::min(text.find('/', start), text.size());
      parts.push_back(text.substr(start, slash - start));
      start = slash + 1;
    }
    pending.insert(pending.end(), parts.rbegin(), parts.rend());
  };
  push_components(absolute);
  std::string resolved;  // "" is the root
  int links = 0;
  while (!pending.empty()) {
    const std::string part = std::move(pending.back());
    pending.pop_back();
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      resolved.erase(resolved.rfind('/') == std::string::npos ? 0 : resolved.rfind('/'));
      continue;
    }
    const std::string candidate = resolved + "/" + part;
    struct stat st {};
    if (::lstat(candidate.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      resolved = candidate;
      continue;
    }
    if (IsForeignLinkInStickyFolder(st, resolved.empty() ? "/" : resolved)) {
      error = FileError{5, path,
                        candidate +
                            " is a symbolic link in a sticky, world-writable folder, owned "
                            "by neither you nor the folder's owner; it is not followed."};
      return std::nullopt;
    }
    if (++links > 40) {
      error = ErrorFor(ELOOP, path);
      return std::nullopt;
    }
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t size = ::readlink(candidate.c_str(), buffer.data(), buffer.size() - 1);
    struct stat pointed {};
    if (size <= 0 ||
        (pending.empty() && ::stat(candidate.c_str(), &pointed) != 0 && errno == ENOENT)) {
      resolved = candidate;
      continue;
    }
    const std::string destination(buffer.data(), static_cast<std::size_t>(size));
    if (destination.front() == '/') resolved.clear();
    push_components(destination);
  }
  return resolved.empty() ? std::string("/") : resolved;
}

// Removes hidden replacement files in the folder that a process now gone left
// behind (killed, or on a file system without unnamed files): only plain
// files of ours with exactly our naming, never one of a live process.
void RemoveLeftoverReplacements(int folder_fd) {
  const int listing_fd = ::openat(folder_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (listing_fd < 0) return;
  DIR* listing = ::fdopendir(listing_fd);
  if (!listing) {
    ::close(listing_fd);
    return;
  }
  std::vector<std::string> leftovers;
  while (const struct dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    const std::optional<std::uint64_t> owner = ReplacementOwner(name);
    if (!owner || *owner == static_cast<std::uint64_t>(::getpid())) continue;
    struct stat st {};
    if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
    leftovers.push_back(name);
  }
  ::closedir(listing);
  for (const std::string& name : leftovers) ::unlinkat(folder_fd, name.c_str(), 0);
}

// Hidden replacement files to remove when SIGINT, SIGTERM or SIGHUP ends the
// process. The handler reads a fixed table: no allocation, no locks.
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kCleanupSlots = 8;

struct CleanupSlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX];
};

CleanupSlot g_cleanup[kCleanupSlots];
struct sigaction g_previous_actions[std::size(kCleanupSignals)];
int g_registered = 0;

extern "C" void RemoveReplacementsAndReraise(int signal_number) {
  const int saved_errno = errno;
  for (CleanupSlot& slot : g_cleanup) {
    if (slot.used.load()) ::unlink(slot.path);
  }
  // The signal then does what it did before: usually end the process.
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    if (kCleanupSignals[i] == signal_number)
      ::sigaction(signal_number, &g_previous_actions[i], nullptr);
  }
  ::raise(signal_number);
  errno = saved_errno;
}

void InstallCleanupHandlers() {
  struct sigaction ours {};
  ours.sa_handler = RemoveReplacementsAndReraise;
  ::sigemptyset(&ours.sa_mask);
  for (const int signal_number : kCleanupSignals) ::sigaddset(&ours.sa_mask, signal_number);
  ours.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    ::sigaction(kCleanupSignals[i], &ours, &g_previous_actions[i]);
    // An ignored signal (nohup) does not end the process: leave it ignored.
    if (!(g_previous_actions[i].sa_flags & SA_SIGINFO) &&
        g_previous_actions[i].sa_handler == SIG_IGN) {
      ::sigaction(kCleanupSignals[i], &g_previous_actions[i], nullptr);
    }
  }
}

void RestoreSignalHandlers() {
  for (std::size_t i = 0; i < std::size(kCleanupSignals); ++i) {
    struct sigaction current {};
    ::sigaction(kCleanupSignals[i], nullptr, &current);
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == RemoveReplacementsAndReraise) {
      ::sigaction(kCleanupSignals[i], &g_previous_actions[i], nullptr);
    }
  }
}

// The slot of path, or -1 when it cannot be kept (then only the next Save as
// into the folder removes a leftover).
int RemoveOnSignal(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kCleanupSlots; ++i) {
    if (g_cleanup[i].used.load()) continue;
    std::memcpy(g_cleanup[i].path, path.c_str(), path.size() + 1);
    if (g_registered++ == 0) InstallCleanupHandlers();
    g_cleanup[i].used.store(true);
    return i;
  }
  return -1;
}

void KeepOnSignal(int slot) {
  if (slot < 0) return;
  g_cleanup[slot].used.store(false);
  if (--g_registered == 0) RestoreSignalHandlers();
}

// What a replacement file still needs before it takes its target's place.
struct PendingReplacement {
  int folder_fd = -1;       // the folder of the target, as checked
  std::string folder;       // its absolute path, for the signal handler
  std::string target_name;  // the target's name in that folder
  bool had_target = false;  // an existing file is to be replaced
  std::string hidden_name;  // its name until then; empty while it has none (O_TMPFILE)
  int cleanup_slot = -1;
};

class PosixFile final : public File {
 public:
  PosixFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  PosixFile(int fd, std::string path, PendingReplacement pending)
      : fd_(fd), path_(std::move(path)), pending_(std::move(pending)) {}
  ~PosixFile() override { Close(); }

  int Fd() const { return fd_; }
  PendingReplacement* Pending() { return pending_ ? &*pending_ : nullptr; }
  // In its target's place now: an ordinary open file named path.
  void Placed(std::string path) {
    path_ = std::move(path);
    ForgetPending();
  }

  const std::string& Path() const override { return path_; }

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
    // The data and what is needed to read it back (the length); time stamps
    // need not reach the disk first, which saves a journal commit per save.
    if (::fdatasync(fd_) != 0) return ErrorFor(errno, path_);
    return std::nullopt;
  }

  std::optional<FileId> Id() const override {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  std::optional<std::uint32_t> Permissions() const override {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(st.st_mode & 07777);
  }

  void Close() override {
    ForgetPending();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  void ForgetPending() {
    if (!pending_) return;
    KeepOnSignal(pending_->cleanup_slot);
    if (pending_->folder_fd >= 0) ::close(pending_->folder_fd);
    pending_.reset();
  }

  int fd_;
  std::string path_;  // what messages name
  std::optional<PendingReplacement> pending_;
};

// A hidden name for a replacement that no other writer picks.
std::string HiddenName(const std::string& base) {
  static std::atomic<unsigned> counter{0};
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return ReplacementName(base, static_cast<std::uint64_t>(::getpid()), counter++,
                         static_cast<std::uint64_t>(now.tv_nsec));
}

// Gives the unnamed file fd the name in folder_fd. AT_EMPTY_PATH needs a
// privilege most callers lack; /proc/self/fd does the same for everyone.
int LinkUnnamed(int fd, int folder_fd, const std::string& name) {
  if (::linkat(fd, "", folder_fd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  if (errno == EEXIST) return -1;
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  return ::linkat(AT_FDCWD, proc.c_str(), folder_fd, name.c_str(), AT_SYMLINK_FOLLOW);
}

// Blocks the signals whose handler removes hidden files while one is created
// and registered, so the handler never removes a name that is not ours yet.
class CleanupSignalsBlocked {
 public:
  CleanupSignalsBlocked() {
    sigset_t block;
    ::sigemptyset(&block);
    for (const int signal_number : kCleanupSignals) ::sigaddset(&block, signal_number);
    ::pthread_sigmask(SIG_BLOCK, &block, &previous_);
  }
  ~CleanupSignalsBlocked() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
  CleanupSignalsBlocked(const CleanupSignalsBlocked&) = delete;
  CleanupSignalsBlocked& operator=(const CleanupSignalsBlocked&) = delete;

 private:
  sigset_t previous_;
};

class PosixFileSystem final : public FileSystem {
 public:
  explicit PosixFileSystem(bool unnamed_files) : unnamed_files_(unnamed_files) {}

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
    return std::make_unique<PosixFile>(fd, AbsolutePath(path));
  }

  std::unique_ptr<File> CreateReplacementFor(const std::string& path, std::uint32_t new_file_mode,
                                             FileError& error) override {
    const std::optional<std::string> target = ReplacementTarget(path, error);
    if (!target) return nullptr;
    PendingReplacement pending;
    pending.folder = FolderOf(*target);
    pending.target_name = BaseNameOf(*target);
    struct stat existing {};
    pending.had_target = ::stat(target->c_str(), &existing) == 0;
    if (!pending.had_target && errno != ENOENT) {
      // A name too long, a folder that may not be searched: said now, not
      // after the whole copy has been written.
      error = ErrorFor(errno, path);
      return nullptr;
    }
    if (pending.had_target && !S_ISREG(existing.st_mode)) {
      // A folder, device or pipe is never replaced by a file (think of /dev/null).
      error = FileError{5, path};
      return nullptr;
    }
    // Everything below works in this folder, whatever its path names later.
    pending.folder_fd =
        ::open(pending.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (pending.folder_fd < 0 && errno == EACCES) {
      pending.folder_fd =
          ::open(pending.folder.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (pending.folder_fd < 0) {
      error = ErrorFor(errno, path);
      return nullptr;
    }
    RemoveLeftoverReplacements(pending.folder_fd);

    // A file that replaces another is private until it has taken the other's
    // owner and bits; a new one is created with the bits it is to keep.
    const mode_t create_mode =
        pending.had_target ? 0600 : static_cast<mode_t>(new_file_mode & 0777);
    int fd = -1;
    // An unnamed file is only made where it can be named later for sure:
    // without /proc an unprivileged linkat of it may be refused.
    if (unnamed_files_ && ::access("/proc/self/fd", X_OK) == 0) {
      fd = ::openat(pending.folder_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, create_mode);
      if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        error = ErrorFor(errno, path);
        ::close(pending.folder_fd);
        return nullptr;
      }
    }
    if (fd < 0) {
      // No unnamed files here: a hidden name, removed on a signal that ends us.
      for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        const std::string name = HiddenName(pending.target_name);
        const CleanupSignalsBlocked blocked;
        fd = ::openat(pending.folder_fd, name.c_str(),
                      O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, create_mode);
        if (fd < 0 && errno == EEXIST) continue;
        if (fd < 0) {
          error = ErrorFor(errno, path);
          ::close(pending.folder_fd);
          return nullptr;
        }
        pending.hidden_name = name;
        pending.cleanup_slot = RemoveOnSignal(pending.folder + "/" + name);
      }
      if (fd < 0) {
        error = FileError{8, path};  // "could not be created because the directory is full"
        ::close(pending.folder_fd);
        return nullptr;
      }
    }
    if (pending.had_target) {
      // The replacement takes the place of the old file: same owner (where
      // we may set it) and permissions.
      (void)!::fchown(fd, existing.st_uid, existing.st_gid);
      (void)::fchmod(fd, existing.st_mode & 07777);
    }
    auto file = std::make_unique<PosixFile>(fd, AbsolutePath(path), std::move(pending));
    if (const int e = HoldExclusively(fd, HoldMode::kFailIfHeld); e != 0) {
      error = FileError{FileErrorCauseFromErrno(e), path};
      Discard(std::move(file));
      return nullptr;
    }
    return file;
  }

  FileStatus ReplaceWith(File& replacement, const std::string& path) override {
    auto* file = dynamic_cast<PosixFile*>(&replacement);
    PendingReplacement* pending = file ? file->Pending() : nullptr;
    if (!pending) return FileError{6, AbsolutePath(path)};
    int e = 0;
    if (pending->hidden_name.empty()) {
      e = LinkInPlace(file->Fd(), *pending);
    } else if (::renameat(pending->folder_fd, pending->hidden_name.c_str(), pending->folder_fd,
                          pending->target_name.c_str()) != 0) {
      e = errno;
    }
    if (e != 0) return ErrorFor(e, AbsolutePath(path));
    // The new name itself must survive a crash too. The contents are already
    // flushed and the name is in place, so a folder that cannot be synced
    // (some file systems refuse) is no reason to report failure.
    (void)::fsync(pending->folder_fd);
    file->Placed(AbsolutePath(path));
    return std::nullopt;
  }

  void Discard(std::unique_ptr<File> replacement) override {
    if (!replacement) return;
    auto* file = dynamic_cast<PosixFile*>(replacement.get());
    if (PendingReplacement* pending = file ? file->Pending() : nullptr) {
      if (!pending->hidden_name.empty())
        ::unlinkat(pending->folder_fd, pending->hidden_name.c_str(), 0);
    }
    replacement->Close();  // an unnamed file goes with its last descriptor
  }

  std::optional<FileId> IdOf(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

 private:
  // Names the unnamed file fd as the target: a new one gets its name
  // directly; an existing one can only be replaced atomically by a rename, so
  // the file has a hidden name for that moment (removed on a signal, and by
  // the next Save as should a kill -9 fall exactly there). Returns an errno.
  static int LinkInPlace(int fd, const PendingReplacement& pending) {
    if (!pending.had_target) {
      if (LinkUnnamed(fd, pending.folder_fd, pending.target_name) == 0) return 0;
      if (errno != EEXIST) return errno;  // appeared meanwhile: replace it as below
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = HiddenName(pending.target_name);
      int slot = -1;
      {
        const CleanupSignalsBlocked blocked;
        if (LinkUnnamed(fd, pending.folder_fd, name) != 0) {
          if (errno == EEXIST) continue;
          return errno;
        }
        slot = RemoveOnSignal(pending.folder + "/" + name);
      }
      int e = 0;
      if (::renameat(pending.folder_fd, name.c_str(), pending.folder_fd,
                     pending.target_name.c_str()) != 0) {
        e = errno;
        ::unlinkat(pending.folder_fd, name.c_str(), 0);
      }
      KeepOnSignal(slot);
      return e;
    }
    return EEXIST;
  }

  bool unnamed_files_;
};

}  // namespace

FileSystem& DefaultFileSystem() {
  static PosixFileSystem files(true);
  return files;
}

FileSystem& FileSystemWithoutUnnamedFiles() {
  static PosixFileSystem files(false);
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
