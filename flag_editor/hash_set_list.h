#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "flag_editor/list_rules.h"

// A row's own data: the hash set's name, a copy of its alert flag, and its index
// in the catalogue. The row's position on screen is not the index. The name is
// a view of its bytes in the catalogue's record table, which outlives the rows
// (the list is emptied before the database closes): a million names are not
// copied a second time.
struct HashSetItemData {
  std::string_view name;
  std::int32_t index = 0;
  bool alert = false;
};

enum class RowOrder { kNameAscending, kNameDescending, kFileOrder };

// The rows of the list: each row's HashSetItemData plus its check-box state, in
// file order, and a permutation that gives their order on screen. Sorting moves
// only the permutation, so a million rows sort without copying names.
class HashSetListModel : public QAbstractTableModel, public RowTexts {
  Q_OBJECT

 public:
  enum Column { kAlertColumn = 0, kNameColumn = 1 };

  explicit HashSetListModel(QObject* parent = nullptr);

  // Replaces all rows, added one at a time between BeginFill and EndFill; each
  // row's check box starts as its alert copy.
  void BeginFill(std::size_t count);
  void AddRow(std::string_view name, std::int32_t index, bool alert);
  void EndFill();
  void Empty();
  void Sort(RowOrder order);

  HashSetItemData& Item(int position) { return rows_[order_[position]].data; }
  const HashSetItemData& Item(int position) const { return rows_[order_[position]].data; }
  bool IsChecked(int position) const { return rows_[order_[position]].checked; }
  // Sets the check box as a click would, with the same notification.
  void SetChecked(int position, bool checked);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  int RowCount() const override { return static_cast<int>(order_.size()); }
  std::string_view RowText(int position) const override { return Item(position).name; }

 signals:
  // The check box of the row at position was toggled.
  void checkToggled(int position);

 private:
  struct Row {
    HashSetItemData data;
    bool checked = false;
  };
  // Entries in ascending name order, sorted on first use after a fill.
  const std::vector<int>& NameOrder();

  std::vector<Row> rows_;      // file order
  std::vector<int> order_;     // position on screen -> entry of rows_
  std::vector<int> name_order_;
};

// The column headings. The sort arrow is drawn right after the heading's text,
// where a report list shows it, rather than at the far edge of a wide column.
class HashSetHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit HashSetHeader(QWidget* parent = nullptr);

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int section) const override;
};

// The list view: report rows, single full-row selection that stays visible
// without focus, Space toggles the focused row's check box. The focused row
// carries the style's focus frame, apart from the selection, and no row gets
// the focus unless the user puts it there.
class HashSetListView : public QTableView {
  Q_OBJECT

 public:
  explicit HashSetListView(QWidget* parent = nullptr);

 public:
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

 private:
  void UpdateRow(int row);
};
