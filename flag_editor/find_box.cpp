#include "flag_editor/find_box.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {
template <typename W>
W* Named(W* widget, const char* object_name, const QString& accessible) {
  widget->setObjectName(object_name);
  widget->setAccessibleName(accessible);
  return widget;
}
}  // namespace

CFindBox::CFindBox(const QString& text, QWidget* owner) : QDialog(owner) {
  setObjectName("findBox");
  setWindowTitle(tr("Find"));
  setAccessibleName(windowTitle());
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);

  auto* label = Named(new QLabel(tr("Fi&nd what:"), this), "findWhatLabel", tr("Find what:"));
  find_what_ = Named(new QLineEdit(this), "findWhat", tr("Find what"));
  find_what_->setMaxLength(kMaxFindText);
  find_what_->setText(text.left(kMaxFindText));
  label->setBuddy(find_what_);

  whole_word_ = Named(new QCheckBox(tr("Match &whole word only"), this), "matchWholeWord",
                      tr("Match whole word only"));
  match_case_ = Named(new QCheckBox(tr("Match &case"), this), "matchCase", tr("Match case"));

  auto* direction = Named(new QGroupBox(tr("Direction"), this), "direction", tr("Direction"));
  up_ = Named(new QRadioButton(tr("&Up"), direction), "directionUp", tr("Up"));
  down_ = Named(new QRadioButton(tr("&Down"), direction), "directionDown", tr("Down"));
  down_->setChecked(true);
  auto* direction_layout = new QHBoxLayout(direction);
  direction_layout->addWidget(up_);
  direction_layout->addWidget(down_);

  find_next_ = Named(new QPushButton(tr("&Find Next"), this), "findNext", tr("Find Next"));
  find_next_->setDefault(true);
  auto* cancel = Named(new QPushButton(tr("Cancel"), this), "cancel", tr("Cancel"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(label, 0, 0);
  grid->addWidget(find_what_, 0, 1, 1, 2);
  grid->addWidget(whole_word_, 1, 0, 1, 2);
  grid->addWidget(match_case_, 2, 0, 1, 2);
  grid->addWidget(direction, 1, 2, 2, 1);
  auto* buttons = new QVBoxLayout;
  buttons->addWidget(find_next_);
  buttons->addWidget(cancel);
  buttons->addStretch();
  grid->addLayout(buttons, 0, 3, 3, 1);

  // An empty text cannot be searched for.
  const auto update_find_next = [this] { find_next_->setEnabled(!find_what_->text().isEmpty()); };
  update_find_next();
  connect(find_what_, &QLineEdit::textChanged, this, update_find_next);
  connect(find_next_, &QPushButton::clicked, this, [this] {
    if (!find_what_->text().isEmpty()) emit findNext();
  });
  connect(cancel, &QPushButton::clicked, this, &CFindBox::reject);
}

QString CFindBox::FindWhat() const { return find_what_->text(); }
bool CFindBox::MatchWholeWord() const { return whole_word_->isChecked(); }
bool CFindBox::MatchCase() const { return match_case_->isChecked(); }
bool CFindBox::SearchDown() const { return down_->isChecked(); }

void CFindBox::FocusFindWhat() {
  activateWindow();
  raise();
  find_what_->setFocus();
}

void CFindBox::done(int result) {
  // Cancel, Esc and the close box all end here; the owner hears it once.
  if (!closing_) {
    closing_ = true;
    emit closing();
  }
  QDialog::done(result);
  close();
}
