#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <string>

#include "flag_editor/file_dialogs.h"
#include "tests/platform/scripted_message_boxes.h"

// Answers every question from a script and records what was asked, in order:
// message boxes as the shared recorder does, with OK-only boxes answering
// themselves, and the file dialogs (kinds "open" and "saveas", the latter with
// the initial name as text). A file dialog without a scripted name fails the test.
class ScriptedQuestions : public ScriptedMessageBoxes, public FileDialogs {
 public:
  ScriptedQuestions() : ScriptedMessageBoxes(OkBoxes::kAnswerThemselves) {}

  std::deque<std::optional<std::string>> file_names;

  std::optional<std::string> AskOpenFileName() override {
    asked.push_back({"open", {}, {}});
    return NextFileName();
  }
  std::optional<std::string> AskSaveAsFileName(const std::string& initial) override {
    asked.push_back({"saveas", initial, {}});
    return NextFileName();
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
