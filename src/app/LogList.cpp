#include "app/LogList.h"

#include <QListWidget>

namespace {

constexpr int LineHeight = 13;

}  // namespace

void AddLogLine(QListWidget& list, const QString& text) {
  auto item = std::make_unique<QListWidgetItem>(text);
  item->setSizeHint(QSize(0, LineHeight));
  list.addItem(item.release());
}

void AppendLogLine(QListWidget& list, const QString& text) {
  AddLogLine(list, text);
  QListWidgetItem* last = list.item(list.count() - 1);
  list.scrollToItem(last, QAbstractItemView::PositionAtTop);
  list.setCurrentRow(list.count() - 1);
}

void SetLastLogLine(QListWidget& list, const QString& text) {
  if (list.count() == 0) return;
  list.item(list.count() - 1)->setText(text);
}
