// The real message boxes: caption, names, icon, text format, default button,
// owner and the answer to Esc and to the close box, each read off the box
// while it is up.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

#include "platform/qt/qt_message_boxes.h"

namespace {

// What the box showed while it was up.
struct Shown {
  bool found = false;
  QString title;
  QString text;
  QString objectName;
  QString accessibleName;
  Qt::TextFormat format = Qt::AutoText;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  QWidget* parent = nullptr;
};

// Shows one box through boxes; once it is up, notes what it shows and ends it with dismiss.
BoxAnswer ShowAndRead(QtMessageBoxes& boxes, const std::string& caption, BoxButtons buttons,
                      Shown& shown, const std::function<void(QMessageBox*)>& dismiss) {
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown.found = true;
    shown.title = box->windowTitle();
    shown.text = box->text();
    shown.objectName = box->objectName();
    shown.accessibleName = box->accessibleName();
    shown.format = box->textFormat();
    shown.icon = box->icon();
    shown.defaultButton = box->standardButton(box->defaultButton());
    shown.parent = box->parentWidget();
    dismiss(box);
  });
  return boxes.Show("Line one\n<b>not markup</b>", caption, buttons, BoxIcon::Question);
}

TEST(QtMessageBoxes, CaptionDefaultAndEscape) {
  struct Case {
    const char* what;
    BoxButtons buttons;
    const char* caption;
    QMessageBox::StandardButton default_button;
    BoxAnswer on_escape;  // Esc and the close box alike
  };
  const Case cases[] = {
      {"Yes/No", BoxButtons::YesNo, "", QMessageBox::Yes, BoxAnswer::No},
      {"Yes/No/Cancel", BoxButtons::YesNoCancel, "", QMessageBox::Yes, BoxAnswer::Cancel},
      {"OK", BoxButtons::Ok, "Own caption", QMessageBox::Ok, BoxAnswer::Ok},
      {"OK/Cancel", BoxButtons::OkCancel, "", QMessageBox::Ok, BoxAnswer::Cancel},
  };
  const std::pair<const char*, std::function<void(QMessageBox*)>> dismissals[] = {
      {"Esc", [](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); }},
      {"close box", [](QMessageBox* box) { box->close(); }},
  };
  QtMessageBoxes boxes(QStringLiteral("Ordwin"));
  for (const Case& c : cases) {
    for (const auto& [how, dismiss] : dismissals) {
      SCOPED_TRACE(std::string(c.what) + ", " + how);
      Shown shown;
      EXPECT_EQ(ShowAndRead(boxes, c.caption, c.buttons, shown, dismiss), c.on_escape);
      ASSERT_TRUE(shown.found);
      EXPECT_EQ(shown.title, *c.caption ? c.caption : "Ordwin");
      EXPECT_EQ(shown.accessibleName, shown.title);
      EXPECT_EQ(shown.objectName, "messageBox");
      EXPECT_EQ(shown.text, "Line one\n<b>not markup</b>");
      EXPECT_EQ(shown.format, Qt::PlainText);
      EXPECT_EQ(shown.icon, QMessageBox::Question);
      EXPECT_EQ(shown.defaultButton, c.default_button);
    }
  }
}

TEST(QtMessageBoxes, ClickedButtonIsTheAnswer) {
  QtMessageBoxes boxes(QStringLiteral("Ordwin"));
  for (auto [button, expected] :
       {std::pair{QMessageBox::No, BoxAnswer::No}, std::pair{QMessageBox::Yes, BoxAnswer::Yes},
        std::pair{QMessageBox::Cancel, BoxAnswer::Cancel}}) {
    QTimer::singleShot(0, [button = button] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        box->button(button)->click();
      }
    });
    EXPECT_EQ(boxes.Show("?", "", BoxButtons::YesNoCancel, BoxIcon::Question), expected);
  }
}

// "No caption" is a title bar without text, not the application's name; the
// box is then named by its text for screen readers.
TEST(QtMessageBoxes, NoCaptionLeavesTheTitleEmpty) {
  QtMessageBoxes boxes(QStringLiteral("Talvane"));
  Shown shown;
  ShowAndRead(boxes, kNoCaption, BoxButtons::Ok, shown,
              [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); });
  ASSERT_TRUE(shown.found);
  EXPECT_EQ(shown.title, "");
  EXPECT_EQ(shown.accessibleName, "Line one\n<b>not markup</b>");
}

// The owner is asked for at each box, so a main window made after the boxes still owns them.
TEST(QtMessageBoxes, OwnedByTheWindowOfTheMoment) {
  QtMessageBoxes boxes(QStringLiteral("Talvane"));
  QWidget* window = nullptr;
  boxes.SetOwner([&window] { return window; });
  const auto ok = [](QMessageBox* box) { box->button(QMessageBox::Ok)->click(); };
  Shown before;
  ShowAndRead(boxes, "", BoxButtons::Ok, before, ok);
  EXPECT_TRUE(before.found);
  EXPECT_EQ(before.parent, nullptr);

  QWidget main;
  window = &main;
  Shown after;
  ShowAndRead(boxes, "", BoxButtons::Ok, after, ok);
  EXPECT_TRUE(after.found);
  EXPECT_EQ(after.parent, &main);
}

}  // namespace
