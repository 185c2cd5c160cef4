// A second program for the tests that need one where there is no fork
// (Windows):
//   platform_probe open-held PATH   exits with the cause a held open of PATH
//                                   fails with, 0 when it opened
//   platform_probe ADDRESS          started as $VELMORA_OPEN_COMMAND: writes
//                                   its one argument to $VELMORA_PROBE_RECORD
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/file.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "open-held") == 0) {
    FileError error;
    auto file =
        DefaultFileSystem().Open(argv[2], OpenMode::kExisting, HoldMode::kFailIfHeld, error);
    return file ? 0 : error.cause;
  }
  const char* record = std::getenv("VELMORA_PROBE_RECORD");
  if (argc != 2 || !record) return 100 + argc;
  std::FILE* out = std::fopen(record, "wb");
  if (!out) return 99;
  std::fwrite(argv[1], 1, std::strlen(argv[1]), out);
  return std::fclose(out) == 0 ? 0 : 98;
}
