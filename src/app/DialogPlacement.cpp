#include "app/DialogPlacement.h"

#include <QWidget>

void CentreOverParentWindow(QWidget& dialog) {
  if (const QWidget* owner = dialog.parentWidget()) {
    QRect frame = dialog.frameGeometry();
    frame.moveCenter(owner->window()->frameGeometry().center());
    dialog.move(frame.topLeft());
  }
}
