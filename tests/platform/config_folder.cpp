#include "tests/platform/config_folder.h"

#include <stdlib.h>

#include <fstream>

namespace testing_support {

ScopedConfigFolder::ScopedConfigFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "ordwin-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
  ::setenv("VELMORA_CONFIG_DIR", path_.c_str(), 1);
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) ::unsetenv(name);
}

ScopedConfigFolder::~ScopedConfigFolder() {
  ::unsetenv("VELMORA_CONFIG_DIR");
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void ScopedConfigFolder::WriteOrdwinIni(const std::string& contents) const {
  std::ofstream(path_ / "Ordwin.ini", std::ios::binary) << contents;
}

}  // namespace testing_support
