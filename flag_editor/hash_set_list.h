#pragma once

#include <QAbstractTableModel>
#include <QHeaderView>
#include <QTableView>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "flag_editor/list_rules.h"

class CHashSetCatalogue;

// A row's data: the hash set's name, its alert flag, and its index in the
// catalogue. The row's position on screen is not the index. The name is a view
// of its bytes in the catalogue's record table.
struct HashSetItemData {
  std::string_view name;
  std::int32_t index = 0;
  bool alert = false;
};

enum class RowOrder { kNameAscending, kNameDescending, kFileOrder };

// The rows of the list, read from the open catalogue where they lie: row entry
// e is hash set e, its check box is the set's alert flag, and a permutation
// gives their order on screen. Nothing is copied per row, so a million rows
// fill at once and cost no memory beyond the permutation; sorting moves only
// the permutation. Every change of a check box reaches the catalogue through
// checkToggled at once, so the box and the flag never differ for long.
class HashSetListModel : public QAbstractTableModel, public RowTexts {
  Q_OBJECT

 public:
  enum Column { kAlertColumn = 0, kNameColumn = 1 };

  explicit HashSetListModel(QObject* parent = nullptr);

  // Shows one row per hash set of the open catalogue, in file order; the
  // catalogue must stay open until Empty.
  void Fill(const CHashSetCatalogue& catalogue);
  void Empty();
  void Sort(RowOrder order);

  HashSetItemData Item(int position) const;
  bool IsChecked(int position) const;
  // Sets the check box as a click would, with the same notification.
  void SetChecked(int position, bool checked);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  int RowCount() const override { return static_cast<int>(order_.size()); }
  std::string_view RowText(int position) const override { return NameOf(order_[position]); }

 signals:
  // The check box of the row at position was toggled.
  void checkToggled(int position);

 private:
  // Entries in ascending name order, sorted on first use after a fill.
  const std::vector<int>& NameOrder();
  std::string_view NameOf(int entry) const;

  const CHashSetCatalogue* catalogue_ = nullptr;
  std::vector<int> order_;  // position on screen -> entry (hash set index)
  std::vector<int> name_order_;
  // A box set while its change could not reach the catalogue yet (the window
  // ignores changes while it fills or empties the list): entry -> state.
  std::unordered_map<int, bool> pending_;
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
