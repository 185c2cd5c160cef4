#include "update_manager/ordwin_doc.h"

#include "update_manager/ordwin_view.h"

COrdwinDoc::COrdwinDoc(QObject* parent) : QObject(parent) {
  setObjectName(QStringLiteral("ordwinDocument"));
}

void COrdwinDoc::UpdateAllViews() {
  if (view_ != nullptr) view_->OnUpdate();
}
