#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <deque>
#include <optional>
#include <string>

#include "flag_editor/file_dialogs.h"
#include "tests/platform/scripted_message_boxes.h"

// One scripted answer of a file dialog: cancel, a name as the dialog returns
// it, or the proposed name accepted unchanged. A path given as bytes becomes the
// text a dialog shows for those bytes.
struct ScriptedName {
  ScriptedName(std::nullopt_t) {}
  ScriptedName(const std::string& path)
      : name(QFile::decodeName(QByteArray::fromStdString(path))) {}
  ScriptedName(const QString& text) : name(text) {}
  static ScriptedName Proposed() {
    ScriptedName answer(std::nullopt);
    answer.proposed = true;
    return answer;
  }
  std::optional<QString> name;
  bool proposed = false;
};

// Answers every question from a script and records what was asked, in order:
// message boxes as the shared recorder does, with OK-only boxes answering
// themselves, and the file dialogs (kinds "open" and "saveas", the latter with
// the initial name as text). A file dialog without a scripted name fails the test.
class ScriptedQuestions : public ScriptedMessageBoxes, public FileDialogs {
 public:
  ScriptedQuestions() : ScriptedMessageBoxes(OkBoxes::kAnswerThemselves) {}

  std::deque<ScriptedName> file_names;

  std::optional<QString> AskOpenFileName() override {
    asked.push_back({"open", {}, {}});
    return NextFileName({});
  }
  std::optional<QString> AskSaveAsFileName(const QString& initial) override {
    asked.push_back({"saveas", initial.toStdString(), {}});
    return NextFileName(initial);
  }

 private:
  std::optional<QString> NextFileName(const QString& initial) {
    if (file_names.empty()) {
      ADD_FAILURE() << "unexpected file dialog";
      return std::nullopt;
    }
    const ScriptedName answer = file_names.front();
    file_names.pop_front();
    return answer.proposed ? std::optional<QString>(initial) : answer.name;
  }
};
