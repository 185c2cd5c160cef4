#include "flag_editor/command_line.h"

#include <cctype>
#include <cstring>
#include <limits>

#include "platform/ascii.h"

CFlagEditorCommandLineInfo::~CFlagEditorCommandLineInfo() = default;

std::int32_t ReadDecimal(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max() + std::int64_t{1};
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kLimit) value = kLimit;  // stays bounded, however long the digits run
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return value > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                          : static_cast<std::int32_t>(value);
}

void CFlagEditorCommandLineInfo::ParseParam(const char* param, bool /*flag*/, bool /*last*/) {
  const std::string text = param ? param : "";
  const std::size_t equals = text.find('=');
  const std::string value = equals == std::string::npos ? text : text.substr(equals + 1);

  const std::string name = AsciiLower(text.substr(0, 6));

  // The standard parsing (file name to open, print switches...) records nothing
  // Talvane uses, so it is not repeated here.
  if (name == "parent" && !value.empty()) {
    m_bHasParent = true;
    m_nParentWnd = ReadDecimal(value);
  }
}

void ParseCommandLine(const std::vector<std::string>& arguments, CFlagEditorCommandLineInfo& info) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool flag = !argument.empty() && (argument[0] == '/' || argument[0] == '-');
    const std::string param = flag ? argument.substr(1) : argument;
    info.ParseParam(param.c_str(), flag, i + 1 == arguments.size());
  }
}
