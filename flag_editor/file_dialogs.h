#pragma once

#include <optional>
#include <string>

// The file-name questions of Open and Save as, injectable like the message boxes
// so tests answer them from a script. Paths are the file system's bytes; nullopt
// means the user cancelled.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // An existing file; the list starts on "Nerith Database" (*.hdb).
  virtual std::optional<std::string> AskOpenFileName() = 0;
  // Any name, starting from initial; replacing an existing file is confirmed first.
  virtual std::optional<std::string> AskSaveAsFileName(const std::string& initial) = 0;
};
