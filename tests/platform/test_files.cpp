#include "tests/platform/test_files.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#ifdef _WIN32
TempDir::TempDir() {
  // The system's temporary folder; a name no other test process takes.
  static unsigned counter = 0;
  std::error_code ignored;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ignored);
  for (int attempt = 0; attempt < 1000 && path_.empty(); ++attempt) {
    const std::filesystem::path candidate =
        base / ("velmora-test-" + std::to_string(::GetCurrentProcessId()) + "-" +
                std::to_string(counter++));
    if (std::filesystem::create_directory(candidate, ignored)) path_ = candidate.string();
  }
}

std::string TempDir::operator/(const std::string& name) const { return path_ + "\\" + name; }
#else
TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/velmora-test-XXXXXX";
  if (char* made = ::mkdtemp(pattern.data())) path_ = made;
}

std::string TempDir::operator/(const std::string& name) const { return path_ + "/" + name; }
#endif

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

std::string ListFolder(const std::string& path) {
  std::set<std::string> names;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(path, ignored)) {
    names.insert(entry.path().filename().string());
  }
  std::ostringstream out;
  for (const auto& name : names) out << name << ' ';
  return out.str();
}
