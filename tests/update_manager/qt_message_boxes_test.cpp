// The real message boxes: caption, icon, default button and the answer to
// Esc, each read off the box while it is up.
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "update_manager/qt_message_boxes.h"

namespace {

TEST(QtMessageBoxes, CaptionDefaultAndEscape) {
  struct Case {
    const char* what;
    BoxButtons buttons;
    const char* caption;
    QMessageBox::StandardButton default_button;
    BoxAnswer on_escape;
  };
  const Case cases[] = {
      {"Yes/No", BoxButtons::YesNo, "", QMessageBox::Yes, BoxAnswer::No},
      {"Yes/No/Cancel", BoxButtons::YesNoCancel, "", QMessageBox::Yes, BoxAnswer::Cancel},
      {"OK", BoxButtons::Ok, "Own caption", QMessageBox::Ok, BoxAnswer::Ok},
      {"OK/Cancel", BoxButtons::OkCancel, "", QMessageBox::Ok, BoxAnswer::Cancel},
  };
  QtMessageBoxes boxes(QStringLiteral("Ordwin"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton shownDefault = QMessageBox::NoButton;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      title = box->windowTitle();
      text = box->text();
      icon = box->icon();
      shownDefault = box->standardButton(box->defaultButton());
      QTest::keyClick(box, Qt::Key_Escape);
    });
    const BoxAnswer answer =
        boxes.Show("Line one\n<b>not markup</b>", c.caption, c.buttons, BoxIcon::Question);
    EXPECT_EQ(answer, c.on_escape);
    EXPECT_EQ(title, *c.caption ? c.caption : "Ordwin");
    EXPECT_EQ(text, "Line one\n<b>not markup</b>");
    EXPECT_EQ(icon, QMessageBox::Question);
    EXPECT_EQ(shownDefault, c.default_button);
  }
}

TEST(QtMessageBoxes, ClickedButtonIsTheAnswer) {
  QtMessageBoxes boxes(QStringLiteral("Ordwin"));
  for (auto [button, expected] : {std::pair{QMessageBox::No, BoxAnswer::No},
                                  std::pair{QMessageBox::Yes, BoxAnswer::Yes},
                                  std::pair{QMessageBox::Cancel, BoxAnswer::Cancel}}) {
    QTimer::singleShot(0, [button = button] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        box->button(button)->click();
      }
    });
    EXPECT_EQ(boxes.Show("?", "", BoxButtons::YesNoCancel, BoxIcon::Question), expected);
  }
}

}  // namespace
