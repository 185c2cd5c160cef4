#include "platform/file_error.h"

#include <cerrno>

namespace {

constexpr std::size_t kMaxFileErrorMessage = 511;

const char* const kCauseTexts[] = {
    "An unknown error occurred while accessing %1.",
    "%1 was not found.",
    "%1 contains an invalid path.",
    "%1 could not be opened because there are too many open files.",
    "Access to %1 was denied.",
    "An invalid file handle was associated with %1.",
    "%1 could not be removed because it is the current directory.",
    "%1 could not be created because the directory is full.",
    "Seek failed on %1",
    "A hardware I/O error was reported while accessing %1.",
    "A sharing violation occurred while accessing %1.",
    "A locking violation occurred while accessing %1.",
    "Disk full while accessing %1.",
    "An attempt was made to access %1 past its end.",
};

}  // namespace

std::string FileErrorMessage(int cause, const std::string& path) {
  return FileErrorMessage(cause, path, kMaxFileErrorMessage);
}

std::string FileErrorMessage(int cause, const std::string& path, std::size_t max_length) {
  if (cause < 1 || cause > 14) cause = 1;
  const std::string text = kCauseTexts[cause - 1];
  const std::string name = path.empty() ? std::string("an unnamed file") : path;
  std::string message;
  const auto at = text.find("%1");
  message = text.substr(0, at) + name + text.substr(at + 2);
  if (message.size() > max_length) message.resize(max_length);
  return message;
}

std::string FileError::Message() const {
  if (reason.empty()) return FileErrorMessage(cause, path);
  std::string message = FileErrorMessage(cause, path, std::string::npos) + " " + reason;
  if (message.size() > kMaxFileErrorMessage) message.resize(kMaxFileErrorMessage);
  return message;
}

int FileErrorCauseFromErrno(int error_number) {
  switch (error_number) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL: return 3;
    case EMFILE:
    case ENFILE: return 4;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return 5;
    case EBADF: return 6;
    case EIO: return 10;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:  // not in every C library (mingw-w64 has none)
#endif
      return 13;
    default: return 1;
  }
}
