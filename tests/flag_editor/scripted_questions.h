#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "flag_editor/file_dialogs.h"
#include "platform/message_boxes.h"

// Answers every question from a script and records what was asked, in order.
// OK-only boxes answer themselves; any other question without a scripted answer
// fails the test.
class ScriptedQuestions : public MessageBoxes, public FileDialogs {
 public:
  struct Asked {
    std::string kind;   // "box", "open", "saveas"
    std::string text;   // the box's text, or the save dialog's initial name
    std::string caption;
    BoxButtons buttons = BoxButtons::Ok;
    BoxIcon icon = BoxIcon::None;
  };

  std::deque<BoxAnswer> answers;
  std::deque<std::optional<std::string>> file_names;
  std::vector<Asked> asked;

  BoxAnswer Show(const std::string& text, const std::string& caption, BoxButtons buttons,
                 BoxIcon icon) override {
    asked.push_back({"box", text, caption, buttons, icon});
    if (buttons == BoxButtons::Ok) return BoxAnswer::Ok;
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return BoxAnswer::Cancel;
    }
    const BoxAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> AskOpenFileName() override {
    asked.push_back({"open", {}, {}});
    return NextFileName();
  }
  std::optional<std::string> AskSaveAsFileName(const std::string& initial) override {
    asked.push_back({"saveas", initial, {}});
    return NextFileName();
  }

  // The texts of the boxes shown so far, for compact expectations.
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (const Asked& a : asked) {
      if (a.kind == "box") texts.push_back(a.text);
    }
    return texts;
  }

 private:
  std::optional<std::string> NextFileName() {
    if (file_names.empty()) {
      ADD_FAILURE() << "unexpected file dialog";
      return std::nullopt;
    }
    auto name = file_names.front();
    file_names.pop_front();
    return name;
  }
};
