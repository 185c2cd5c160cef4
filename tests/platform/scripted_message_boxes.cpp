#include "tests/platform/scripted_message_boxes.h"

#include <gtest/gtest.h>

BoxAnswer ScriptedMessageBoxes::Show(const std::string& text, const std::string& caption,
                                     BoxButtons buttons, BoxIcon icon) {
  asked.push_back({"box", text, caption, buttons, icon});
  if (while_asked) while_asked(asked.back());
  if (buttons == BoxButtons::Ok && ok_boxes_ == OkBoxes::kAnswerThemselves) return BoxAnswer::Ok;
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << text;
    return BoxAnswer::Cancel;
  }
  const BoxAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::vector<std::string> ScriptedMessageBoxes::BoxTexts() const {
  std::vector<std::string> texts;
  for (const Asked& a : asked) {
    if (a.kind == "box") texts.push_back(a.text);
  }
  return texts;
}
