#include "flag_editor/hash_set_list.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QStyleOptionFocusRect>
#include <QStyleOptionHeader>

#include <algorithm>
#include <cstdlib>
#include <numeric>

#include "hashdb/cp1252.h"
#include "hashdb/hash_set_catalogue.h"
#include "hashdb/talvane_strings.h"

HashSetListModel::HashSetListModel(QObject* parent) : QAbstractTableModel(parent) {}

void HashSetListModel::Fill(const CHashSetCatalogue& catalogue) {
  beginResetModel();
  catalogue_ = &catalogue;
  order_.resize(catalogue.GetCount());
  std::iota(order_.begin(), order_.end(), 0);
  name_order_.clear();
  pending_.clear();
  endResetModel();
}

void HashSetListModel::Empty() {
  beginResetModel();
  catalogue_ = nullptr;
  order_.clear();
  order_.shrink_to_fit();
  name_order_.clear();
  name_order_.shrink_to_fit();
  pending_.clear();
  endResetModel();
}

std::string_view HashSetListModel::NameOf(int entry) const {
  return catalogue_->GetNameView(static_cast<std::uint32_t>(entry));
}

HashSetItemData HashSetListModel::Item(int position) const {
  const int entry = order_[position];
  return HashSetItemData{NameOf(entry), entry,
                         catalogue_->GetAlert(static_cast<std::uint32_t>(entry))};
}

bool HashSetListModel::IsChecked(int position) const {
  const int entry = order_[position];
  const auto pending = pending_.find(entry);
  if (pending != pending_.end()) return pending->second;
  return catalogue_->GetAlert(static_cast<std::uint32_t>(entry));
}

void HashSetListModel::Sort(RowOrder order) {
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Selection and focus follow their rows: remember which entry each points at.
  const QModelIndexList before = persistentIndexList();
  std::vector<int> entries;
  entries.reserve(before.size());
  for (const QModelIndex& index : before) entries.push_back(order_[index.row()]);

  switch (order) {
    case RowOrder::kNameAscending:
    case RowOrder::kNameDescending: {
      const std::vector<int>& ascending = NameOrder();
      if (order == RowOrder::kNameAscending) {
        order_ = ascending;
      } else {
        order_.assign(ascending.rbegin(), ascending.rend());
      }
      break;
    }
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

namespace {

// Eight bytes of a name from offset `at` as one big-endian word, padded with
// zeros: words compare like the bytes, and a name that ends first (no name
// holds a NUL) comes first.
std::uint64_t Word(std::string_view name, std::size_t at) {
  std::uint64_t word = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    word <<= 8;
    if (at + i < name.size()) word |= static_cast<unsigned char>(name[at + i]);
  }
  return word;
}

// A name's first 16 bytes held beside the name itself: most comparisons end in
// the keys, which lie side by side in memory, and only names sharing their
// first 16 bytes are read further.
struct NameKey {
  std::uint64_t high;
  std::uint64_t low;
  std::string_view name;
  int entry;
};

}  // namespace

const std::vector<int>& HashSetListModel::NameOrder() {
  // Sorted once per fill; the later clicks reuse it (descending is the same
  // order read backwards).
  if (name_order_.size() == order_.size()) return name_order_;
  std::vector<NameKey> keys(order_.size());
  for (std::size_t e = 0; e < keys.size(); ++e) {
    const std::string_view name = NameOf(static_cast<int>(e));
    keys[e] = {Word(name, 0), Word(name, 8), name, static_cast<int>(e)};
  }
  std::sort(keys.begin(), keys.end(), [](const NameKey& a, const NameKey& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return CompareNames(a.name, b.name) < 0;
  });
  name_order_.resize(keys.size());
  for (std::size_t p = 0; p < keys.size(); ++p) name_order_[p] = keys[p].entry;
  return name_order_;
}

void HashSetListModel::SetChecked(int position, bool checked) {
  const int entry = order_[position];
  pending_[entry] = checked;
  const QModelIndex cell = index(position, kAlertColumn);
  emit dataChanged(cell, cell, {Qt::CheckStateRole});
  emit checkToggled(position);
  // Once the catalogue holds the box's state the box reads it from there again.
  if (catalogue_ && catalogue_->GetAlert(static_cast<std::uint32_t>(entry)) == checked) {
    pending_.erase(entry);
  }
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

namespace {

// Rows are selected whole, so the focus frame goes round the whole row rather
// than round the one cell that is current: each cell draws its part of the
// row's frame. It is drawn whether or not the list has the keyboard focus and
// in the state every style draws (some draw focus frames only after keyboard
// use), so the user always sees which row Space ticks.
class RowDelegate : public QStyledItemDelegate {
 public:
  explicit RowDelegate(QTableView* view) : QStyledItemDelegate(view), view_(view) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem plain = option;
    plain.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, plain, index);
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid() || current.row() != index.row()) return;

    const QAbstractItemModel* model = index.model();
    const int last = model->columnCount(index.parent()) - 1;
    QStyleOptionFocusRect frame;
    frame.QStyleOption::operator=(option);
    frame.rect = view_->visualRect(model->index(index.row(), 0, index.parent())) |
                 view_->visualRect(model->index(index.row(), last, index.parent()));
    frame.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange | QStyle::State_Item;
    frame.backgroundColor = option.palette.color(
        (option.state & QStyle::State_Selected) ? QPalette::Highlight : QPalette::Base);
    QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    painter->save();
    painter->setClipRect(option.rect, Qt::IntersectClip);
    style->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, painter, option.widget);
    painter->restore();
  }

 private:
  QTableView* view_;
};

}  // namespace

HashSetHeader::HashSetHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {}

void HashSetHeader::paintSection(QPainter* painter, const QRect& rect, int section) const {
  if (!rect.isValid()) return;
  QStyleOptionHeader option;
  initStyleOption(&option);
  option.rect = rect;
  option.section = section;
  option.text = model()->headerData(section, orientation(), Qt::DisplayRole).toString();
  option.textAlignment = Qt::AlignLeft | Qt::AlignVCenter;
  option.sortIndicator = QStyleOptionHeader::None;
  option.position = count() == 1                          ? QStyleOptionHeader::OnlyOneSection
                    : visualIndex(section) == 0           ? QStyleOptionHeader::Beginning
                    : visualIndex(section) == count() - 1 ? QStyleOptionHeader::End
                                                          : QStyleOptionHeader::Middle;
  painter->save();
  style()->drawControl(QStyle::CE_Header, &option, painter, this);
  // The style leaves the painter clipped; start from the state before it.
  painter->restore();
  painter->save();
  painter->setClipRect(rect);
  if (isSortIndicatorShown() && sortIndicatorSection() == section) {
    // A small filled triangle, pointing up for ascending names, down for descending.
    const int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, &option, this);
    const int width = std::max(9, fontMetrics().height() * 2 / 3) | 1;
    const qreal half = width / 2.0;
    const qreal left =
        rect.left() + margin + fontMetrics().horizontalAdvance(option.text) + 2 * margin + 2;
    const qreal middle = rect.center().y() + 0.5;
    const qreal rise = (sortIndicatorOrder() == Qt::AscendingOrder ? -0.55 : 0.55) * half;
    const QPolygonF triangle({QPointF(left, middle - rise), QPointF(left + width, middle - rise),
                              QPointF(left + half, middle + rise)});
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(palette().color(QPalette::WindowText));
    painter->drawPolygon(triangle);
  }
  painter->restore();
}

HashSetListView::HashSetListView(QWidget* parent) : QTableView(parent) {
  setHorizontalHeader(new HashSetHeader(this));
  setItemDelegate(new RowDelegate(this));
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
  p.setColor(QPalette::Inactive, QPalette::Highlight,
             p.color(QPalette::Active, QPalette::Highlight));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(p);
}

void HashSetListView::scrollTo(const QModelIndex& index, ScrollHint hint) {
  // Rows are revealed up or down only: a click on the wide name column must not
  // scroll the check boxes out of sight.
  const int horizontal = horizontalScrollBar()->value();
  QTableView::scrollTo(index, hint);
  horizontalScrollBar()->setValue(horizontal);
}

void HashSetListView::keyPressEvent(QKeyEvent* event) {
  auto* list = qobject_cast<HashSetListModel*>(model());
  if (list && event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
      list->SetChecked(current.row(), !list->IsChecked(current.row()));
    } else if (list->RowCount() > 0) {
      // No row shows the focus mark yet: this Space puts it on the selected row
      // (a found one) or the first, where the next Space ticks.
      const QModelIndexList selected = selectionModel()->selectedRows();
      const QModelIndex row = selected.isEmpty() ? list->index(0, 0) : selected.first();
      selectionModel()->setCurrentIndex(
          row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

void HashSetListView::focusInEvent(QFocusEvent* event) {
  if (currentIndex().isValid()) {
    QTableView::focusInEvent(event);
    return;
  }
  // Qt's item views make the first row current when they get the focus without
  // a current row. A row that becomes current passes its state to the
  // catalogue, so that would change a database the user has not touched; the
  // focus mark waits for the user's first key or click instead.
  QAbstractScrollArea::focusInEvent(event);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  viewport()->update();
}

void HashSetListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // The focus frame spans the row, not just the current cell.
  if (previous.isValid()) UpdateRow(previous.row());
  if (current.isValid()) UpdateRow(current.row());
}

void HashSetListView::UpdateRow(int row) {
  viewport()->update(QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row)));
}
