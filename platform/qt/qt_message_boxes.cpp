#include "platform/qt/qt_message_boxes.h"

#include <QMessageBox>

#include "platform/qt/x11.h"

namespace {

QMessageBox::Icon ToQt(BoxIcon icon) {
  switch (icon) {
    case BoxIcon::Stop: return QMessageBox::Critical;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

struct ButtonSet {
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton first;
  QMessageBox::StandardButton escape;  // what Esc and the close box answer
};

ButtonSet ToQt(BoxButtons buttons) {
  switch (buttons) {
    case BoxButtons::OkCancel:
      return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel};
    case BoxButtons::YesNo:
      return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No};
    case BoxButtons::YesNoCancel:
      return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes,
              QMessageBox::Cancel};
    case BoxButtons::Ok: break;
  }
  return {QMessageBox::Ok, QMessageBox::Ok, QMessageBox::Ok};
}

BoxAnswer FromQt(int answer, const ButtonSet& set) {
  switch (answer) {
    case QMessageBox::Ok: return BoxAnswer::Ok;
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    case QMessageBox::Cancel: return BoxAnswer::Cancel;
    default: break;
  }
  return FromQt(set.escape, set);
}

}  // namespace

BoxAnswer QtMessageBoxes::Show(const std::string& text, const std::string& caption,
                               BoxButtons buttons, BoxIcon icon) {
  const ButtonSet set = ToQt(buttons);
  const bool untitled = caption == kNoCaption;
  const QString title = untitled          ? QString()
                        : caption.empty() ? app_name_
                                          : QString::fromStdString(caption);
  QMessageBox box(ToQt(icon), title, QString::fromStdString(text), set.buttons,
                  owner_ ? owner_() : nullptr);
  box.setObjectName(QStringLiteral("messageBox"));
  // A box without a title is named by its text for screen readers.
  box.setAccessibleName(untitled ? box.text() : title);
  if (untitled) ClearX11Title(static_cast<std::uintptr_t>(box.winId()));
  box.setTextFormat(Qt::PlainText);  // paths, names and texts from the network are never markup
  box.setDefaultButton(set.first);
  box.setEscapeButton(set.escape);
  return FromQt(box.exec(), set);
}
