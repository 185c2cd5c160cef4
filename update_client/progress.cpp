#include "update_client/progress.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/qt/dialog_units.h"

CProgress::CProgress(QWidget* owner) : QDialog(owner) {
  setObjectName(QStringLiteral("progressDialog"));
  setWindowTitle(QStringLiteral("Connecting to Velmora..."));
  setAccessibleName(windowTitle());
  // A caption with a close box, no resizing and no minimize/maximize.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // The main window takes no command while the check runs.
  setWindowModality(Qt::ApplicationModal);

  const DialogUnits du(font());
  setFixedSize(du.Size(236, 57));

  text_line_ = new QLabel(this);  // the template's "Connecting..." is emptied at initialisation
  text_line_->setObjectName(QStringLiteral("progressText"));
  text_line_->setTextFormat(Qt::PlainText);
  text_line_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  text_line_->setGeometry(du.Rect(20, 14, 198, 8));

  bar_ = new QProgressBar(this);
  bar_->setObjectName(QStringLiteral("progressBar"));
  bar_->setAccessibleName(QStringLiteral("Progress bar"));
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  bar_->setGeometry(du.Rect(19, 24, 199, 7));

  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setObjectName(QStringLiteral("cancelButton"));
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  cancel_->setDefault(true);
  cancel_->setGeometry(du.Rect(93, 36, 50, 14));
  connect(cancel_, &QPushButton::clicked, this, &CProgress::reject);

  // At the owner's top-left corner.
  if (owner != nullptr && owner->isVisible()) move(owner->mapToGlobal(QPoint(0, 0)));
  show();
  // Let the window system map it, then draw it before the transfer blocks.
  QCoreApplication::processEvents();
  repaint();
}

void CProgress::ShowStep(const std::optional<std::string>& step_text, int percent) {
  if (step_text) {
    const QString text = QString::fromStdString(*step_text);
    // A screen reader hears each phase: the line's name is its text, and the
    // name change is announced (named first, so the text change adds no
    // second announcement).
    text_line_->setAccessibleName(text);
    text_line_->setText(text);
  }
  bar_->setValue(percent);
  repaint();
}

bool CProgress::Poll() {
  QCoreApplication::processEvents();
  return !cancelled_;
}

QString CProgress::Text() const { return text_line_->text(); }

int CProgress::Percent() const { return bar_->value(); }

void CProgress::reject() {
  cancelled_ = true;
  cancel_->setEnabled(false);
}
