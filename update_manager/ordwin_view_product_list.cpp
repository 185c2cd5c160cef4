// The product list of Ordwin's view: one row per product with a tick box, the
// product's name and the latest version the update site reported.
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>

#include "update_manager/ordwin_strings.h"
#include "update_manager/ordwin_view.h"
#include "update_manager/product_table.h"

namespace {
QString Text(unsigned id) { return QString::fromStdString(OrdwinString(id)); }
QString FromBytes(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void COrdwinView::SetUpColumns() {
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);  // full-row selection
  list_->setColumnCount(2);
  list_->setHeaderLabels({Text(IDS_COLUMN_PROGRAM), Text(IDS_COLUMN_LATEST_VERSION)});
  list_->headerItem()->setTextAlignment(kColumnProgram, Qt::AlignLeft | Qt::AlignVCenter);
  list_->headerItem()->setTextAlignment(kColumnLatestVersion, Qt::AlignLeft | Qt::AlignVCenter);
  list_->header()->resizeSection(kColumnProgram, 100);
  list_->header()->resizeSection(kColumnLatestVersion, 100);
}

void COrdwinView::RefillList() {
  table_.Rebuild();
  list_->clear();
  int count = 0;
  for (int i = 1; i < CProductTable::kEntryCount; ++i) {
    CProductEntry& entry = table_[i];
    if (entry.list_index == -1) continue;
    auto* item = new QTreeWidgetItem();
    item->setText(kColumnProgram,
                  FromBytes(OrdwinString(static_cast<unsigned>(entry.display_name_id))));
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(kColumnProgram, Qt::Unchecked);
    list_->insertTopLevelItem(count, item);
    entry.list_index = list_->indexOfTopLevelItem(item);
    ++count;
  }
  UpdateInstallButton();
  for (int i = 1; i < CProductTable::kEntryCount; ++i) {
    const CProductEntry& entry = table_[i];
    if (QTreeWidgetItem* item = list_->topLevelItem(entry.list_index)) {
      item->setText(kColumnLatestVersion, Text(IDS_SELECT_CHECK_FOR_UPDATES));
    }
  }
  if (latest_known_ != 0) RefreshLatestVersions();
}

void COrdwinView::RefreshLatestVersions() {
  for (int i = 1; i < CProductTable::kEntryCount; ++i) {
    const CProductEntry& entry = table_[i];
    if (QTreeWidgetItem* item = list_->topLevelItem(entry.list_index)) {
      item->setText(kColumnLatestVersion, FromBytes(entry.latest_version));
    }
  }
  UpdateInstallButton();
}

void COrdwinView::UpdateInstallButton() {
  install_button_->setEnabled(latest_known_ != 0 && ticked_mask_ != 0);
}

void COrdwinView::OnItemChanged(int item) {
  const QTreeWidgetItem* row = list_->topLevelItem(item);
  if (row == nullptr) return;
  const std::uint32_t bit = std::uint32_t{1} << (static_cast<unsigned>(item) % 32);
  if (row->checkState(kColumnProgram) == Qt::Checked) {
    ticked_mask_ |= bit;
  } else {
    ticked_mask_ &= ~bit;
  }
  UpdateInstallButton();
}

void COrdwinView::OnListClick(QPoint listViewportPos) {
  if (latest_known_ == 0) return;
  const QModelIndex hit = list_->indexAt(listViewportPos);
  if (!hit.isValid() || hit.column() != kColumnLatestVersion) return;
  OpenLatestVersion(hit.row());
}

void COrdwinView::SetLatestKnown() { latest_known_ = 1; }
