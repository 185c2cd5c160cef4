#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

// A private settings folder for Ordwin.ini, set as $VELMORA_CONFIG_DIR while it
// lives; also keeps proxy settings of the machine away from loopback requests.
class ScopedConfigFolder {
 public:
  ScopedConfigFolder();
  ~ScopedConfigFolder();
  const std::filesystem::path& Path() const { return path_; }
  void WriteOrdwinIni(const std::string& contents) const;

 private:
  std::filesystem::path path_;
};

}  // namespace testing_support
