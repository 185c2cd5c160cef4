#include "update_manager/ordwin_view.h"

#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>
#include <algorithm>
#include <functional>

#include "platform/qt/dialog_units.h"
#include "update_client/site_hosts.h"
#include "update_manager/link_label.h"
#include "update_manager/ordwin_doc.h"
#include "update_manager/ordwin_ids.h"
#include "update_manager/ordwin_strings.h"

namespace {

// The list control; it reports every left click once it has handled the click
// itself (tick box, selection), with the point in its viewport's coordinates.
class ProductList final : public QTreeWidget {
 public:
  using QTreeWidget::QTreeWidget;
  std::function<void(QPoint)> onClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    QTreeWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && onClick) onClick(event->position().toPoint());
  }
};

QString Text(unsigned id) { return QString::fromStdString(OrdwinString(id)); }

// The form template's size and its controls' places, in dialog units.
constexpr int kFormWidth = 338;
constexpr int kFormHeight = 168;

}  // namespace

COrdwinView::COrdwinView(COrdwinDoc& document, CProductTable& table, MessageBoxes& boxes,
                         QWidget* parent)
    : QWidget(parent), document_(document), table_(table), boxes_(boxes) {
  setObjectName(QStringLiteral("ordwinView"));
  setAccessibleName(QStringLiteral("Ordwin"));
  document_.AddView(this);

  const DialogUnits du(font());
  resize(du.Size(kFormWidth, kFormHeight));

  auto* list = new ProductList(this);
  list->onClick = [this](QPoint pos) { OnListClick(pos); };
  list_ = list;
  list_->setObjectName(QStringLiteral("productList"));
  list_->setAccessibleName(QStringLiteral("Products"));
  list_->setGeometry(du.Rect(7, 35, 324, 87));
  list_->setRootIsDecorated(false);
  list_->setItemsExpandable(false);
  list_->setUniformRowHeights(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setSortingEnabled(false);
  list_->header()->setSectionsClickable(false);
  list_->header()->setSectionsMovable(false);
  list_->header()->setStretchLastSection(false);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);

  install_button_ = new QPushButton(QStringLiteral("Install Newest Versions"), this);
  install_button_->setObjectName(QStringLiteral("installButton"));
  install_button_->setAccessibleName(install_button_->text());
  // Wide enough for its text in whatever font the desktop gives.
  QRect buttonRect = du.Rect(7, 127, 80, 14);
  buttonRect.setWidth(std::max(buttonRect.width(), install_button_->sizeHint().width()));
  install_button_->setGeometry(buttonRect);
  install_button_->setEnabled(false);

  caption_ = new QLabel(this);
  caption_->setObjectName(QStringLiteral("productLineCaption"));
  caption_->setTextFormat(Qt::PlainText);
  caption_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  caption_->setGeometry(du.Rect(103, 124, 132, 17));

  link_ = new CLinkLabel(this);
  link_->setObjectName(QStringLiteral("productLink"));
  link_->setGeometry(du.Rect(103, 146, 132, 15));

  setTabOrder(list_, install_button_);

  connect(list_, &QTreeWidget::itemChanged, this,
          [this](QTreeWidgetItem* item, int) { OnItemChanged(list_->indexOfTopLevelItem(item)); });
  connect(list_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem* previous) {
            if (previous != nullptr) OnItemChanged(list_->indexOfTopLevelItem(previous));
            if (current != nullptr) OnItemChanged(list_->indexOfTopLevelItem(current));
          });
  connect(install_button_, &QPushButton::clicked, this, &COrdwinView::InstallNewestVersions);
  connect(link_, &CLinkLabel::clicked, this, &COrdwinView::OpenProductPage);
}

QWidget* COrdwinView::Control(int id) const {
  switch (id) {
    case ordwin_id::kProductList: return list_;
    case ordwin_id::kInstallButton: return install_button_;
    case ordwin_id::kCaptionText: return caption_;
    case ordwin_id::kLinkLabel: return link_;
    default: return nullptr;
  }
}

void COrdwinView::OnInitialUpdate() {
  OnUpdate();

  // Fit the frame to the form, shrinking only.
  if (auto* frame = qobject_cast<QMainWindow*>(window())) {
    frame->resize(frame->sizeHint().boundedTo(frame->size()));
  }

  if (!initialised_) {
    caption_->setText(Text(IDS_PRODUCT_LINE_CAPTION));
    caption_->setAccessibleName(caption_->text());
    link_font_ = LinkFont();
    link_->setFont(link_font_);
    link_->setText(QString::fromStdString(MakerWebHost()));
    link_->setAccessibleName(link_->text());

    SetUpColumns();

    // The present size is the start and the minimum; no maximum.
    layout_.Init({width(), height()}, -1, -1, -1, -1);
    for (int id : {ordwin_id::kProductList, ordwin_id::kInstallButton, ordwin_id::kCaptionText,
                   ordwin_id::kLinkLabel}) {
      const QRect g = Control(id)->geometry();
      const bool isList = id == ordwin_id::kProductList;
      layout_.Add(id, {g.x(), g.y(), g.width(), g.height()}, false, !isList, isList ? 1 : 0,
                  isList ? 1 : 0, 1.0, 1.0);
    }
    // The tracking-size query reaches top-level windows only, so the frame's own
    // minimum (510 x 310) is what limits the form; below its start size the list
    // shrinks and the controls under it move up.
    initialised_ = true;
  }

  document_.UpdateAllViews();
  StartupPrompt();
}

void COrdwinView::OnUpdate() {
  RefillList();
  if (QWidget* frame = window(); frame != this) frame->setWindowTitle(Text(IDS_APP_TITLE));
}

QSize COrdwinView::sizeHint() const { return DialogUnits(font()).Size(kFormWidth, kFormHeight); }

void COrdwinView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!initialised_) return;
  for (const CResizeLayout::Placement& p : layout_.Resize({width(), height()})) {
    if (QWidget* control = Control(p.control)) {
      control->setGeometry(p.rect.x, p.rect.y, p.rect.width, p.rect.height);
    }
  }
  update();
}
