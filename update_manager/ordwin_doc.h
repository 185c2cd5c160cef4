#pragma once

#include <QObject>

class COrdwinView;

// Ordwin's document. It holds nothing the update manager uses; it only tells
// its view when to bring itself up to date.
class COrdwinDoc : public QObject {
  Q_OBJECT

 public:
  explicit COrdwinDoc(QObject* parent = nullptr);
  void AddView(COrdwinView* view) { view_ = view; }
  void UpdateAllViews();

 private:
  COrdwinView* view_ = nullptr;
};
