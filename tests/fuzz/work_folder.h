#pragma once

#include <unistd.h>

#include <cstdlib>

#include "tests/platform/test_files.h"

// The folder a database fuzzer works in for the whole run: on tmpfs unless
// $TMPDIR says otherwise, since every save is flushed. Call StartWorkFolder()
// from LLVMFuzzerInitialize; it returns what that function should.
inline TempDir* work = nullptr;

inline int StartWorkFolder() {
  if (!std::getenv("TMPDIR") && ::access("/dev/shm", W_OK) == 0) ::setenv("TMPDIR", "/dev/shm", 1);
  work = new TempDir();
  std::atexit([] { delete work; });  // libFuzzer ends the run with exit()
  return work->path().empty() ? 1 : 0;
}
