#pragma once

#include <cstddef>
#include <string>
#include <utility>

// A failed read, write, positioning, open or flush of a file: the cause (1 to 14)
// and the file's full path. Message() is the cause's text with the path in
// place of %1 ("an unnamed file" for an empty path), followed by the reason
// when there is one, cut to 511 characters.
struct FileError {
  FileError() = default;
  FileError(int cause_, std::string path_, std::string reason_ = std::string())
      : cause(cause_), path(std::move(path_)), reason(std::move(reason_)) {}

  int cause = 1;
  std::string path;
  // Why, where the cause's text alone would leave the user guessing (a refusal
  // of our own rather than the system's); empty otherwise.
  std::string reason;

  std::string Message() const;
};

// The message of a cause for a path, as FileError::Message builds it.
std::string FileErrorMessage(int cause, const std::string& path);
// The same, cut to max_length characters instead (a LoadFailure holds up to 1023).
std::string FileErrorMessage(int cause, const std::string& path, std::size_t max_length);

// The cause for an errno value (ENOENT -> 2, EACCES -> 5, ...).
int FileErrorCauseFromErrno(int error_number);

#ifdef _WIN32
// The cause for a Win32 error code (GetLastError): ERROR_SHARING_VIOLATION ->
// 11, ERROR_FILE_NOT_FOUND -> 2, ERROR_ACCESS_DENIED -> 5, ...
int FileErrorCauseFromWin32(unsigned long error_code);
#endif
