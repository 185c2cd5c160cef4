#include "platform/settings_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file.h"

namespace {

std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

bool IsRegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Something other than a regular file (or a link to one) is at path.
bool OtherThanRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// The whole of an open regular file from its start; false on a read error or
// when it is larger than a settings store can be.
bool ReadAll(int fd, std::string& contents) {
  contents.clear();
  char buffer[8192];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    contents.append(buffer, static_cast<std::size_t>(got));
    offset += got;
    if (contents.size() > kMaxSettingsFileSize) return false;
  }
}

// Writers take turns through a lock on the store itself (no lock file is left
// beside it); readers need none, since the store is only ever replaced whole.
bool LockForWriting(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLKW, &lock) == 0) return true;
    if (errno != EINTR) return false;
  }
}

// Whether path still names the open file: another writer may have renamed its
// new store over it while this one waited for the lock.
bool StillNamedBy(int fd, const std::string& path) {
  struct stat open_file {};
  struct stat named {};
  return ::fstat(fd, &open_file) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino;
}

// Creates the folder that holds path, and its parents, when missing.
void MakeFolderFor(const std::string& path) {
  std::size_t slash = path.find('/', 1);
  while (slash != std::string::npos) {
    const std::string folder = path.substr(0, slash);
    if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return;
    slash = path.find('/', slash + 1);
  }
}

}  // namespace

std::string MachineSettingsFolder() {
  std::string dir = FromEnvironment("VELMORA_CONFIG_DIR");
  return dir.empty() ? std::string("/etc/velmora") : dir;
}

std::string UserSettingsFolder() {
  std::string dir = FromEnvironment("VELMORA_CONFIG_DIR");
  if (!dir.empty()) return dir;
  std::string xdg = FromEnvironment("XDG_CONFIG_HOME");
  if (!xdg.empty()) return xdg + "/velmora";
  std::string home = FromEnvironment("HOME");
  return (home.empty() ? std::string(".") : home) + "/.config/velmora";
}

std::string RegistryStandInPath() { return MachineSettingsFolder() + "/registry.ini"; }

std::string OrdwinProfilePath() { return UserSettingsFolder() + "/Ordwin.ini"; }

SettingsFile ReadSettingsFile(const std::string& path) {
  // A FIFO or device is not even opened: some do things when opened.
  if (OtherThanRegularFile(path)) return {SettingsFileState::kUnreadable, {}};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return {errno == ENOENT ? SettingsFileState::kMissing : SettingsFileState::kUnreadable, {}};
  }
  SettingsFile file{SettingsFileState::kUnreadable, {}};
  if (IsRegularFile(fd) && ReadAll(fd, file.contents)) {
    file.state = SettingsFileState::kRead;
  } else {
    file.contents.clear();
  }
  ::close(fd);
  return file;
}

bool UpdateSettingsFile(const std::string& path,
                        const std::function<std::optional<std::string>(const std::string&)>& edit) {
  MakeFolderFor(path);
  // A few rounds at most: each retry means another writer has just finished.
  for (int attempt = 0; attempt < 100; ++attempt) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    if (existed && !S_ISREG(before.st_mode)) return false;
    // Opening for writing also asks for read permission: a store this user
    // may not read is never replaced.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return false;
    if (!IsRegularFile(fd) || !LockForWriting(fd)) {
      ::close(fd);
      return false;
    }
    if (!StillNamedBy(fd, path)) {
      ::close(fd);
      continue;
    }
    std::string contents;
    bool written = false;
    if (ReadAll(fd, contents)) {
      const std::optional<std::string> updated = edit(contents);
      written = updated && !ReplaceFileContents(DefaultFileSystem(), path, *updated);
    }
    struct stat now {};
    if (!written && !existed && ::lstat(path.c_str(), &now) == 0 && S_ISREG(now.st_mode) &&
        now.st_size == 0 && StillNamedBy(fd, path)) {
      // Nothing was written: the empty file this call made goes again.
      ::unlink(path.c_str());
    }
    ::close(fd);
    return written;
  }
  return false;
}

std::vector<SettingsLine> SplitSettingsLines(const std::string& contents) {
  std::vector<SettingsLine> lines;
  std::size_t start = 0;
  while (start < contents.size()) {
    auto end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    SettingsLine line{contents.substr(start, end - start), false};
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.pop_back();
      line.carriage_return = true;
    }
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

std::string JoinSettingsLines(const std::vector<SettingsLine>& lines) {
  std::string joined;
  for (const SettingsLine& line : lines) {
    joined += line.text;
    if (line.carriage_return) joined += '\r';
    joined += '\n';
  }
  return joined;
}
