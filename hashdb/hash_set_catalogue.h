#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hashdb/hdb_format.h"
#include "platform/file_error.h"
#include "platform/large_buffer.h"

class File;
class FileSystem;

// SaveAs copies the tail through one buffer of this size, so the tail never sits
// in memory; 1 MiB halves the system calls of 64 KiB chunks and still moves the
// progress bar every few milliseconds. The bytes written do not depend on it.
inline constexpr std::size_t kTailCopyChunk = 1u << 20;

// Observer of the tail copy of SaveAs: Begin(total), Advance(done)..., End().
// Counts are 64-bit so databases beyond 4 GiB report correctly.
class SaveProgress {
 public:
  virtual ~SaveProgress() = default;
  virtual void Begin(std::uint64_t total) = 0;
  virtual void Advance(std::uint64_t done) = 0;
  virtual void End() = 0;
};

// Why a Load did not open the database: the cause and its message (at most 1023 characters).
struct LoadFailure {
  int cause = 1;
  std::string message;
};

// What Load returned. Exactly one of: success (both empty), a LoadFailure (the
// file could not be opened or was refused before anything was held; shown with
// no icon), or a FileError (a read failed after the open; shown with a stop icon).
struct LoadResult {
  std::optional<LoadFailure> failure;
  std::optional<FileError> error;

  bool ok() const { return !failure && !error; }
};

// What Save and SaveAs returned. saved is the operation's true/false; error is
// set when a file error ended it (then saved is false). refusal says why a
// SaveAs that touched nothing returned false (the target is the open database,
// is held elsewhere, or cannot be created): command-line tools print it, the
// window shows its own "Error saving file." instead.
struct SaveResult {
  bool saved = false;
  std::optional<FileError> error;
  std::optional<FileError> refusal;

  explicit operator bool() const { return saved; }
};

// The one open hash database: header and record table in memory, the file held
// exclusively from Load until Close (or until SaveAs moves to the copy).
class CHashSetCatalogue {
 public:
  CHashSetCatalogue();  // real files
  // Tests inject faults here, and may copy in smaller chunks so that a small
  // tail still takes many steps.
  explicit CHashSetCatalogue(FileSystem& files, std::size_t tail_chunk = kTailCopyChunk);
  ~CHashSetCatalogue();  // closes without saving
  CHashSetCatalogue(const CHashSetCatalogue&) = delete;
  CHashSetCatalogue& operator=(const CHashSetCatalogue&) = delete;

  LoadResult Load(const std::string& path);                            // requires !IsOpen()
  SaveResult Save();                                                   // requires IsOpen()
  SaveResult SaveAs(const std::string& path, SaveProgress& progress);  // requires IsOpen()
  void Close();

  bool IsOpen() const;
  const std::string& GetPath() const;
  std::uint32_t GetCount() const;
  std::string GetName(std::uint32_t index) const;  // bytes up to the first NUL
  // The same bytes where they lie in the table; valid until the next Load,
  // SaveAs or Close. For callers that keep or show many names without copies.
  std::string_view GetNameView(std::uint32_t index) const;
  bool GetAlert(std::uint32_t index) const;  // alert word != 0
  // The record table as held, 260 bytes per set: after a Load or a successful
  // save, the file's bytes from offset 20 on (for checksums of the table).
  std::span<const std::uint8_t> GetRecordTable() const;
  bool SetAlert(std::uint32_t index, bool on);  // true when the stored word changed
  bool IsChanged() const;

 private:
  const std::uint8_t* RecordBytes(std::uint32_t index) const;
  std::uint32_t AlertWord(std::uint32_t index) const;
  void MarkDirty(std::uint32_t index);
  void ForgetDirty();

  FileSystem& files_;
  std::size_t tail_chunk_;
  std::unique_ptr<File> file_;
  std::string path_;
  HashDatabaseHeader header_{};
  // The record table as read: count_ records of 260 bytes in one block, filled
  // straight from the file without being cleared first.
  LargeBuffer table_;
  std::uint32_t count_ = 0;
  bool changed_ = false;
  // Records whose alert word changed since the last load or save, each once:
  // Save writes only these (and the header).
  std::vector<std::uint32_t> dirty_;
  std::vector<bool> dirty_mark_;
};
