#include "app/TopLineBevel.h"

#include <QPainter>

TTopLineBevel::TTopLineBevel(QWidget* parent) : QWidget(parent) {}

void TTopLineBevel::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawLine(0, 0, width() - 1, 0);
  painter.setPen(palette().color(QPalette::Light));
  painter.drawLine(0, 1, width() - 1, 1);
}
