#pragma once

#include <string>

// A fresh folder under $TMPDIR (Windows: the temporary folder) for one test, removed with
// everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // name in the folder, joined with the platform's separator.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

std::string ReadBytes(const std::string& path);  // empty when the file cannot be read
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::string ListFolder(const std::string& path);
