#pragma once

#include <string>

// Every modal question the programs ask goes through this interface, so the
// logic can run without a window system and GUI tests can answer from a script.
// Texts are the programs' own 8-bit strings; an empty caption means "the
// application's name", and kNoCaption a title bar with no text at all.
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxIcon { None, Stop, Question, Exclamation, Information };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// The caption of a box whose title bar stays empty. A caption never holds a NUL
// byte, so this one stands for no other.
inline const std::string kNoCaption(1, '\0');

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                         BoxIcon icon) = 0;
};
