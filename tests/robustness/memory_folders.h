#pragma once

#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

// Temporary folders (TempDir) go to tmpfs while this lives, when there is one.
// These tests are about bytes, faults, descriptors and memory, not about the
// disk: on tmpfs a save's flush costs nothing, where on a busy disk thousands
// of flushes take minutes.
class TemporaryFoldersInMemory {
 public:
  TemporaryFoldersInMemory() {
    if (const char* old = std::getenv("TMPDIR")) old_ = old;
    if (::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  }
  ~TemporaryFoldersInMemory() {
    if (old_) {
      ::setenv("TMPDIR", old_->c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  TemporaryFoldersInMemory(const TemporaryFoldersInMemory&) = delete;
  TemporaryFoldersInMemory& operator=(const TemporaryFoldersInMemory&) = delete;

 private:
  std::optional<std::string> old_;
};
