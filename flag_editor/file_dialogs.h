#pragma once

#include <QString>
#include <optional>

// The file-name questions of Open and Save as, injectable like the message boxes
// so tests answer them from a script. Names are text, as a dialog shows and
// returns them; the window turns them into the file system's bytes. nullopt
// means the user cancelled.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // An existing file; the list starts on "Nerith Database" (*.hdb).
  virtual std::optional<QString> AskOpenFileName() = 0;
  // Any name, starting from initial; replacing an existing file is confirmed first.
  virtual std::optional<QString> AskSaveAsFileName(const QString& initial) = 0;
};
