#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_error.h"

// What a file call returned: nothing on success, otherwise the error (cause and
// the file's full path).
using FileStatus = std::optional<FileError>;

// Which file a path or an open file is, whatever its spelling: device and inode.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;

  bool operator==(const FileId&) const = default;
};

// An open file held exclusively: no other open of it succeeds, in this process or
// another, until Close. Reads and writes work at the current position.
class File {
 public:
  virtual ~File() = default;

  // The full path that error messages name.
  virtual const std::string& Path() const = 0;

  // Reads up to size bytes; done is the number read, 0 at the end of the file.
  // Fewer bytes than asked is not an error.
  virtual FileStatus Read(void* buffer, std::size_t size, std::size_t& done) = 0;
  // Writes all size bytes; storing fewer is cause 13 ("Disk full").
  virtual FileStatus Write(const void* data, std::size_t size) = 0;
  virtual FileStatus Seek(std::uint64_t offset) = 0;
  // The file's length; the position stays where it was.
  virtual FileStatus Length(std::uint64_t& length) = 0;
  // Everything written so far to stable storage.
  virtual FileStatus Flush() = 0;
  virtual std::optional<FileId> Id() const = 0;
  // The permission bits (st_mode & 07777), if they can be read.
  virtual std::optional<std::uint32_t> Permissions() const = 0;
  // Releases the file and its hold. Further calls fail with cause 6.
  virtual void Close() = 0;
};

enum class OpenMode {
  kExisting,  // the file must exist; it is never created
  kCreate,    // created empty when missing, kept as it is when present
};

enum class HoldMode {
  kFailIfHeld,  // another holder: the open fails with cause 11
  kWait,        // wait until the other holder lets go (short critical sections only)
};

// The operations on files and folders the programs use, so tests can put faults
// in between.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens path for reading and writing and holds it exclusively. On failure
  // returns null and sets error (its path is path as passed).
  virtual std::unique_ptr<File> Open(const std::string& path, OpenMode mode, HoldMode hold,
                                     FileError& error) = 0;

  // A new empty file in the folder where a replacement of path must be written
  // (beside the file a symbolic link at path points to), held exclusively. It
  // takes the owner and permission bits of the file it is to replace; where
  // there is none, new_file_mode as a create gives it (the umask applies). Its
  // Path() names path, the file the user asked for. Where the file system
  // allows, it has no name until ReplaceWith, so a killed process leaves
  // nothing; otherwise it has a hidden name that SIGINT, SIGTERM and SIGHUP
  // remove, and leftovers of processes that are gone are removed here.
  // Refused: a target that is not a plain file, and a symbolic link that
  // another user may have planted in a sticky, world-writable folder.
  virtual std::unique_ptr<File> CreateReplacementFor(const std::string& path,
                                                     std::uint32_t new_file_mode,
                                                     FileError& error) = 0;

  // Puts the replacement file made by CreateReplacementFor in place of path
  // atomically (of the file a symbolic link at path pointed to) and makes the
  // change durable. The open file stays open and held.
  virtual FileStatus ReplaceWith(File& replacement, const std::string& path) = 0;

  // Closes a replacement that is not wanted any more and deletes it.
  virtual void Discard(std::unique_ptr<File> replacement) = 0;

  // The identity of the file that path names (links followed), if it exists.
  virtual std::optional<FileId> IdOf(const std::string& path) = 0;
};

// The mode a new file gets when nothing else decides (0666, less the umask).
inline constexpr std::uint32_t kNewFileMode = 0666;

// The real file system: POSIX calls and open file description locks, or Win32
// files opened without sharing.
FileSystem& DefaultFileSystem();

#ifdef _WIN32
// Windows replaces no file that is open, not even by its own holder: the
// holder lets go of an existing target just before ReplaceWith. Should
// another program take it in that moment, the replacement fails and the
// target stays as it was.
inline constexpr bool kReplacingNeedsTargetClosed = true;
#else
// POSIX renames over an open file, so the target stays held until it is
// replaced and no other program takes it in between.
inline constexpr bool kReplacingNeedsTargetClosed = false;

// The real file system as it works where unnamed files (O_TMPFILE) are not
// supported: every replacement has its hidden name from the start. For tests.
FileSystem& FileSystemWithoutUnnamedFiles();
#endif

// path made absolute against the current folder, otherwise unchanged.
std::string AbsolutePath(const std::string& path);

// Replaces the contents of path with contents through a flushed replacement
// renamed over it: readers see the old or the new contents, never a mix, and
// on failure the old file is as it was.
FileStatus ReplaceFileContents(FileSystem& files, const std::string& path,
                               const std::string& contents);
