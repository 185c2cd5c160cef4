#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Talvane's command line: /parent=N names the window Talvane was started for.
// Everything else on the line (file names, the platform's standard switches) is
// accepted and has no effect.
class CFlagEditorCommandLineInfo {
 public:
  virtual ~CFlagEditorCommandLineInfo();

  // One parameter, with a leading "/" or "-" already stripped when flag is true.
  virtual void ParseParam(const char* param, bool flag, bool last);

  std::int32_t m_nParentWnd = 0;
  bool m_bHasParent = false;
};

// Hands each argument (the program name excluded) to info.ParseParam, stripping
// one leading "/" or "-" and marking the parameter a switch when it had one.
void ParseCommandLine(const std::vector<std::string>& arguments, CFlagEditorCommandLineInfo& info);

// The decimal reading of a parent handle: leading blanks, an optional sign, then
// digits up to the first other character; 0 without digits. Out-of-range values
// saturate at the 32-bit limits instead of wrapping.
std::int32_t ReadDecimal(const std::string& text);
