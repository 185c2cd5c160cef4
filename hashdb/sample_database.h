#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

// A realistic database for tests, benchmarks and the demo: hash sets with the
// names examiners give them (some with Windows-1252 letters, some with an older
// name's bytes left after the NUL, as editing tools leave them), some alerts on,
// and a tail of pseudo-random hash bytes. The same options give the same bytes.
struct SampleOptions {
  std::uint32_t sets = 40;
  std::uint64_t tail_bytes = 64 * 1024;
  std::uint64_t seed = 1;
};

// The name sample set i gets.
std::string SampleSetName(std::uint32_t index);
// Whether sample set i has its alert on.
bool SampleSetAlert(std::uint32_t index);

// Writes the sample to path through a replacement renamed over it, so a failure
// leaves no partial file and an existing file as it was.
FileStatus WriteSampleDatabase(const std::string& path, const SampleOptions& options,
                               FileSystem& files = DefaultFileSystem());
