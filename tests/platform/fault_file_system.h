#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

// The file calls a test can make fail.
enum class FileCall { kOpen, kCreateReplacement, kReplace, kRead, kWrite, kSeek, kLength, kFlush };

// A FileSystem that passes every call to another one (the real one by default)
// and fails the calls a test names: the k-th call of a kind (counted over all
// files opened through it, from when the fault was set), a write that stores
// only part of its bytes, or a disk that fills up. It also counts the calls.
class FaultFileSystem final : public FileSystem {
 public:
  explicit FaultFileSystem(FileSystem& inner = DefaultFileSystem());

  // The nth call of that kind from now fails with cause: once, or (sticky) that
  // call and every later one of its kind, like a device that has gone away.
  void FailOn(FileCall call, int nth, int cause, bool sticky = false);
  // The nth write from now stores only stored bytes and fails with cause 13.
  void ShortWriteOn(int nth, std::size_t stored);
  // From now, writes store at most this many bytes in all; a write that does
  // not fit stores what fits and fails with cause 13, as on a full disk.
  void SetFreeSpace(std::uint64_t bytes);
  void ClearFaults();

  // How many calls of a kind were made, faulty ones included.
  int Calls(FileCall call) const;

  std::unique_ptr<File> Open(const std::string& path, OpenMode mode, HoldMode hold,
                             FileError& error) override;
  std::unique_ptr<File> CreateReplacementFor(const std::string& path, std::uint32_t new_file_mode,
                                             FileError& error) override;
  FileStatus ReplaceWith(File& replacement, const std::string& path) override;
  void Discard(std::unique_ptr<File> replacement) override;
  std::optional<FileId> IdOf(const std::string& path) override;

  // For the files: the fault for this call, if one is due. For a write, stored
  // is set to how many bytes still go through.
  std::optional<int> Due(FileCall call, std::size_t size, std::size_t& stored);

 private:
  struct Planned {
    FileCall call;
    int at;  // value of the call's counter that fails
    int cause;
    std::optional<std::size_t> stored;
    bool sticky = false;
  };

  FileSystem& inner_;
  std::map<FileCall, int> calls_;
  std::vector<Planned> planned_;
  std::optional<std::uint64_t> free_space_;
};
