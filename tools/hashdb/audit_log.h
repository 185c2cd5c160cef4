#pragma once

// The audit trail of hdbtool's changing commands: one JSON line per run,
// appended to a log the user names, after the database was saved.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"

struct AuditChange {
  std::uint32_t index = 0;
  bool alert = false;  // the flag after the run
  std::string name;    // the name's bytes (Windows-1252)
};

struct AuditEntry {
  std::time_t time = 0;
  std::string user;  // empty: unknown
  std::string host;
  std::string command;   // "set", "copy", "apply"
  std::string database;  // absolute path of the database written
  std::string source;    // copy: the database copied; apply: where the flags came from; else empty
  std::string table_sha256_before;
  std::string table_sha256_after;
  std::vector<AuditChange> changed;
};

// The entry as one line of JSON, line break included:
// {"time":"2026-12-11T17:40:03Z","user":...,"host":...,"command":...,
//  "database":...,["source":...,]"table_sha256_before":...,"table_sha256_after":...,
//  "changed":[{"index":3,"alert":true,"name":"..."}]}
// Names are decoded from Windows-1252; paths, user and host are written as
// UTF-8, a byte that is not part of valid UTF-8 as U+FFFD.
std::string AuditLine(const AuditEntry& entry);

// Who and where: the effective user's name (its number when it has none) and
// the host name.
std::string CurrentUserName();
std::string CurrentHostName();

// A log file opened for appending. Checked before the database is touched, so
// a log that cannot take the line refuses the run before anything is written;
// a missing log is created (0600) only when the first line is written.
class AuditLog {
 public:
  AuditLog(AuditLog&& other) noexcept;
  AuditLog& operator=(AuditLog&&) = delete;
  ~AuditLog();

  // Refused: a symbolic link, anything but a regular file, a file with hard
  // links, one of the
  // databases of the run (also when it appears only later, as a copy), a
  // folder that a missing log cannot be created in.
  static std::optional<AuditLog> Open(const std::string& path, std::vector<std::string> databases,
                                      FileError& error);

  // Appends line in one write and flushes it to stable storage.
  FileStatus Append(const std::string& line);

 private:
  AuditLog(std::string path, std::vector<std::string> databases, int fd)
      : path_(std::move(path)), databases_(std::move(databases)), fd_(fd) {}
  FileStatus CheckOpened(int fd) const;

  std::string path_;
  std::vector<std::string> databases_;
  int fd_ = -1;  // -1 until a missing log is created
};
