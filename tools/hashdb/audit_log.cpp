#include "tools/hashdb/audit_log.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "hashdb/cp1252.h"
#include "tools/hashdb/output_formats.h"

namespace {

// Length of the valid UTF-8 sequence at text[at], 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint32_t code = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and code points past U+10FFFF are not UTF-8.
  const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  if (overlong || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return length;
}

std::string ValidUtf8(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++at;
    } else {
      out.append(text.substr(at, length));
      at += length;
    }
  }
  return out;
}

void AppendField(std::string& out, const char* key, std::string_view utf8) {
  out += '"';
  out += key;
  out += "\":";
  AppendJsonString(out, utf8);
}

FileError ErrorOf(int error_number, const std::string& path, std::string reason = {}) {
  return FileError{FileErrorCauseFromErrno(error_number), path, std::move(reason)};
}

}  // namespace

std::string AuditLine(const AuditEntry& entry) {
  std::tm utc{};
  ::gmtime_r(&entry.time, &utc);
  char time[32];
  std::strftime(time, sizeof time, "%Y-%m-%dT%H:%M:%SZ", &utc);
  std::string line = "{";
  AppendField(line, "time", time);
  line += ',';
  AppendField(line, "user", ValidUtf8(entry.user));
  line += ',';
  AppendField(line, "host", ValidUtf8(entry.host));
  line += ',';
  AppendField(line, "command", entry.command);
  line += ',';
  AppendField(line, "database", ValidUtf8(entry.database));
  if (!entry.source.empty()) {
    line += ',';
    AppendField(line, "source", ValidUtf8(entry.source));
  }
  line += ',';
  AppendField(line, "table_sha256_before", entry.table_sha256_before);
  line += ',';
  AppendField(line, "table_sha256_after", entry.table_sha256_after);
  line += ",\"changed\":[";
  for (std::size_t i = 0; i < entry.changed.size(); ++i) {
    const AuditChange& change = entry.changed[i];
    if (i) line += ',';
    line += "{\"index\":" + std::to_string(change.index) +
            ",\"alert\":" + (change.alert ? "true" : "false") + ',';
    AppendField(line, "name", Cp1252ToUtf8(change.name));
    line += '}';
  }
  line += "]}\n";
  return line;
}

std::string CurrentUserName() {
  const uid_t uid = ::geteuid();
  if (const passwd* entry = ::getpwuid(uid); entry && entry->pw_name) return entry->pw_name;
  return std::to_string(uid);
}

std::string CurrentHostName() {
  char host[HOST_NAME_MAX + 1] = {};
  if (::gethostname(host, sizeof host - 1) != 0) return "";
  return host;
}

AuditLog::AuditLog(AuditLog&& other) noexcept
    : path_(std::move(other.path_)), databases_(std::move(other.databases_)), fd_(other.fd_) {
  other.fd_ = -1;
}

AuditLog::~AuditLog() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// No link is followed (one planted in a shared folder would make us append
// where we never meant to), and a FIFO cannot block the open.
constexpr int kLogOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;

FileError OpenErrorOf(int error_number, const std::string& path) {
  if (error_number == ELOOP)
    return ErrorOf(EACCES, path, "The log is a symbolic link; it is not followed.");
  // A FIFO without a reader, a device without its device.
  if (error_number == ENXIO) return ErrorOf(EACCES, path, "The log must be a regular file.");
  return ErrorOf(error_number, path);
}

}  // namespace

std::optional<AuditLog> AuditLog::Open(const std::string& path, std::vector<std::string> databases,
                                       FileError& error) {
  const int fd = ::open(path.c_str(), kLogOpenFlags);
  AuditLog log(path, std::move(databases), fd);
  if (fd < 0) {
    if (errno != ENOENT) {
      error = OpenErrorOf(errno, path);
      return std::nullopt;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
      error = ErrorOf(errno, path);
      return std::nullopt;
    }
    return log;
  }
  if (auto refused = log.CheckOpened(fd)) {
    error = *refused;
    return std::nullopt;
  }
  return log;
}

FileStatus AuditLog::CheckOpened(int fd) const {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return ErrorOf(errno, path_);
  if (!S_ISREG(st.st_mode)) return ErrorOf(EACCES, path_, "The log must be a regular file.");
  // A second name may be a link planted to make us append to another file.
  if (st.st_nlink > 1)
    return ErrorOf(EACCES, path_, "The log has other names (hard links); it is not written.");
  const FileId id{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  for (const std::string& database : databases_) {
    if (DefaultFileSystem().IdOf(database) == id) {
      return ErrorOf(EACCES, path_, "It is a database of this run, not a log.");
    }
  }
  if (::fcntl(fd, F_SETFL, O_APPEND) != 0) return ErrorOf(errno, path_);
  return std::nullopt;
}

FileStatus AuditLog::Append(const std::string& line) {
  if (fd_ < 0) {
    // Created now; one that appeared since the check is checked as it was.
    fd_ = ::open(path_.c_str(), kLogOpenFlags | O_CREAT | O_EXCL, 0600);
    if (fd_ < 0 && errno == EEXIST) {
      fd_ = ::open(path_.c_str(), kLogOpenFlags);
      if (fd_ >= 0) {
        if (auto refused = CheckOpened(fd_)) return refused;
      }
    }
    if (fd_ < 0) return OpenErrorOf(errno, path_);
  }
  // One write, so lines of runs that log at once never interleave.
  ssize_t written;
  do {
    written = ::write(fd_, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return ErrorOf(errno, path_);
  if (static_cast<std::size_t>(written) != line.size())
    return FileError{13, path_, "The line was cut short."};
  if (::fsync(fd_) != 0) return ErrorOf(errno, path_);
  return std::nullopt;
}
