#pragma once

#include <cstddef>
#include <string>

// A failed read, write, positioning, open or flush of a file: the cause (1 to 14)
// and the file's full path. Message() is the cause's text with the path in
// place of %1 ("an unnamed file" for an empty path), cut to 511 characters.
struct FileError {
  int cause = 1;
  std::string path;

  std::string Message() const;
};

// The message of a cause for a path, as FileError::Message builds it.
std::string FileErrorMessage(int cause, const std::string& path);
// The same, cut to max_length characters instead (a LoadFailure holds up to 1023).
std::string FileErrorMessage(int cause, const std::string& path, std::size_t max_length);

// The cause for an errno value (ENOENT -> 2, EACCES -> 5, ...).
int FileErrorCauseFromErrno(int error_number);
