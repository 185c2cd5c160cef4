#pragma once

#include <string>
#include <vector>

// Talvane's application object: reads the command line, runs the main window
// modally over the real questions and the registry stand-in, and ends with it.
class CFlagEditorApp {
 public:
  // arguments: the command line without the program name, Qt's own options
  // already taken out. Returns the process exit code.
  int InitInstance(const std::vector<std::string>& arguments);
};
