#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_boxes.h"

// Answers every message box from a script and records what was asked, in order.
// A question the script has no answer for fails the test and is answered Cancel.
class ScriptedMessageBoxes : public MessageBoxes {
 public:
  // Whether OK-only boxes take an answer from the script or answer themselves.
  enum class OkBoxes { kScripted, kAnswerThemselves };

  struct Asked {
    std::string kind = "box";  // "box"; recorders of other questions add their own kinds
    std::string text;
    std::string caption;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
  };

  explicit ScriptedMessageBoxes(OkBoxes ok_boxes = OkBoxes::kScripted) : ok_boxes_(ok_boxes) {}

  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override;

  // The texts of the boxes shown so far, for compact expectations.
  std::vector<std::string> BoxTexts() const;

  std::deque<BoxAnswer> answers;
  std::vector<Asked> asked;
  // Runs while a box is "on screen", before it is answered.
  std::function<void(const Asked&)> while_asked;

 private:
  OkBoxes ok_boxes_;
};
