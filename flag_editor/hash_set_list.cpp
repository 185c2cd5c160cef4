#include "flag_editor/hash_set_list.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>
#include <numeric>

#include "hashdb/cp1252.h"
#include "hashdb/talvane_strings.h"

HashSetListModel::HashSetListModel(QObject* parent) : QAbstractTableModel(parent) {}

void HashSetListModel::Fill(std::vector<HashSetItemData> items) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(items.size());
  for (auto& item : items) {
    const bool checked = item.alert;
    rows_.push_back(Row{std::move(item), checked});
  }
  order_.resize(rows_.size());
  std::iota(order_.begin(), order_.end(), 0);
  endResetModel();
}

void HashSetListModel::Empty() {
  beginResetModel();
  rows_.clear();
  rows_.shrink_to_fit();
  order_.clear();
  order_.shrink_to_fit();
  endResetModel();
}

void HashSetListModel::Sort(RowOrder order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Selection and focus follow their rows: remember which entry each points at.
  const QModelIndexList before = persistentIndexList();
  std::vector<int> entries;
  entries.reserve(before.size());
  for (const QModelIndex& index : before) entries.push_back(order_[index.row()]);

  const auto by_name = [this](int a, int b) {
    return CompareNames(rows_[a].data.name, rows_[b].data.name) < 0;
  };
  switch (order) {
    case RowOrder::kNameAscending:
      std::sort(order_.begin(), order_.end(), by_name);
      break;
    case RowOrder::kNameDescending:
      std::sort(order_.begin(), order_.end(), [&by_name](int a, int b) { return by_name(b, a); });
      break;
    case RowOrder::kFileOrder:
      // Entries are in file order, so the index order is the identity.
      std::iota(order_.begin(), order_.end(), 0);
      break;
  }

  if (!before.isEmpty()) {
    std::vector<int> position_of(order_.size());
    for (std::size_t p = 0; p < order_.size(); ++p) position_of[order_[p]] = static_cast<int>(p);
    QModelIndexList after;
    after.reserve(before.size());
    for (int i = 0; i < before.size(); ++i) {
      after.push_back(index(position_of[entries[i]], before[i].column()));
    }
    changePersistentIndexList(before, after);
  }
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void HashSetListModel::SetChecked(int position, bool checked) {
  rows_[order_[position]].checked = checked;
  const QModelIndex cell = index(position, kAlertColumn);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
  emit CheckToggled(position);
}

int HashSetListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCount();
}

int HashSetListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

QVariant HashSetListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCount()) return {};
  const int position = index.row();
  if (index.column() == kAlertColumn) {
    if (role == Qt::CheckStateRole) return IsChecked(position) ? Qt::Checked : Qt::Unchecked;
    if (role == Qt::AccessibleTextRole) {
      return QString::fromLatin1(IsChecked(position) ? "Alert on" : "Alert off");
    }
    return {};
  }
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole || role == Qt::AccessibleTextRole) {
    // Decoded only for the rows drawn, so big lists cost nothing here.
    return QString::fromStdString(Cp1252ToUtf8(Item(position).name));
  }
  return {};
}

bool HashSetListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != kAlertColumn || role != Qt::CheckStateRole) {
    return false;
  }
  SetChecked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags HashSetListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == kAlertColumn) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant HashSetListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    return QString::fromStdString(
        TalvaneString(section == kAlertColumn ? IDS_COLUMN_ALERT : IDS_COLUMN_NAME));
  }
  if (role == Qt::TextAlignmentRole) {
    // "Alert" is asked for centred, but a report list draws its first column
    // left-aligned, heading and check boxes alike.
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

HashSetListView::HashSetListView(QWidget* parent) : QTableView(parent) {
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setTabKeyNavigation(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setSectionsClickable(true);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSortIndicatorShown(false);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  // The selection stays visible, in the active colours, while another window has
  // the focus (the find box, for one).
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
}

void HashSetListView::keyPressEvent(QKeyEvent* event) {
  auto* list = qobject_cast<HashSetListModel*>(model());
  if (list && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    const QModelIndex current = currentIndex();
    if (current.isValid()) list->SetChecked(current.row(), !list->IsChecked(current.row()));
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}
