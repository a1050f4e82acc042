#include "app/AboutPictures.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>

namespace {

constexpr QSize ChipSize(66, 52);
constexpr QSize StampSize(130, 66);
const QColor ChipBackground(255, 0, 255);
const QColor StampBackground(192, 192, 192);
const QColor StampRed(200, 16, 24);
constexpr qreal LetterWidth = 24;
constexpr qreal LetterHeight = 36;

// The picture with its background colour cut out. Drawn without
// antialiasing, so that no blended edge keeps a trace of the background.
QPixmap withTransparentBackground(const QImage& image, const QColor& background) {
  QPixmap picture = QPixmap::fromImage(image);
  picture.setMask(picture.createMaskFromColor(background, Qt::MaskInColor));
  return picture;
}

void drawPins(QPainter& painter, int top) {
  constexpr int PinCount = 7;
  constexpr int PinPitch = 6;
  constexpr int FirstPin = 14;
  for (int n = 0; n < PinCount; ++n) {
    const int left = FirstPin + n * PinPitch;
    painter.fillRect(left, top, 3, 7, QColor(200, 200, 208));
    painter.fillRect(left + 2, top, 1, 7, QColor(120, 120, 128));
  }
}

// One letter of the stencil alphabet in a LetterWidth x LetterHeight cell: strokes 7 wide,
// broken by the bridges that hold a stencil's inner parts.
QPainterPath stencilLetter(char letter) {
  QPainterPath path;
  switch (letter) {
    case 'B': {
      path.addRect(0, 0, 7, 36);
      QPainterPath bowls;
      bowls.addRoundedRect(QRectF(-12, 0, 35, 17.5), 8.5, 8.5);
      bowls.addRoundedRect(QRectF(-12, 18.5, 36, 17.5), 8.5, 8.5);
      QPainterPath holes;
      holes.addRoundedRect(QRectF(-12, 6.5, 28, 4.5), 2, 2);
      holes.addRoundedRect(QRectF(-12, 25, 29, 4.5), 2, 2);
      QPainterPath right;
      right.addRect(9, 0, 16, 36);
      path.addPath(bowls.subtracted(holes).intersected(right));
      break;
    }
    case 'E':
      path.addRect(0, 0, 7, 36);
      path.addRect(9, 0, 15, 7);
      path.addRect(9, 14.5, 11, 7);
      path.addRect(9, 29, 15, 7);
      break;
    case 'T':
      path.addRect(0, 0, 24, 7);
      path.addRect(8.5, 9, 7, 27);
      break;
    case 'A': {
      QPainterPath legs;
      legs.moveTo(3.5, 38);
      legs.lineTo(7.5, -2);
      legs.moveTo(16.5, -2);
      legs.lineTo(20.5, 38);
      QPainterPathStroker stroker;
      stroker.setWidth(7);
      stroker.setCapStyle(Qt::FlatCap);
      QPainterPath cell;
      cell.addRect(0, 0, LetterWidth, LetterHeight);
      path.addPath(stroker.createStroke(legs).intersected(cell));
      path.addRect(6, 22, 12, 6);
      break;
    }
    default:
      break;
  }
  return path;
}

}  // namespace

QPixmap ChipPicture() {
  QImage image(ChipSize, QImage::Format_RGB32);
  image.fill(ChipBackground);
  QPainter painter(&image);
  drawPins(painter, 3);
  drawPins(painter, 42);
  const QRect body(8, 10, 50, 32);
  painter.fillRect(body, QColor(40, 40, 48));
  painter.fillRect(body.left(), body.top(), body.width(), 2, QColor(96, 96, 108));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(72, 72, 84));
  painter.drawChord(QRect(body.left() - 5, body.center().y() - 5, 10, 10), -90 * 16, 180 * 16);
  painter.drawEllipse(QRect(body.left() + 6, body.bottom() - 8, 4, 4));
  painter.setBrush(QColor(150, 150, 160));
  painter.drawRect(QRect(body.left() + 16, body.top() + 11, 24, 3));
  painter.drawRect(QRect(body.left() + 16, body.top() + 18, 16, 3));
  painter.end();
  return withTransparentBackground(image, ChipBackground);
}

QPixmap BetaStamp() {
  QImage image(StampSize, QImage::Format_RGB32);
  image.fill(StampBackground);
  QPainter painter(&image);
  painter.setPen(Qt::NoPen);
  painter.setBrush(StampRed);
  // Four cells 5 apart, slanted to the right, centred in the stamp.
  constexpr qreal Slant = 0.3;
  constexpr qreal CellPitch = LetterWidth + 5;
  constexpr qreal WordWidth = 4 * LetterWidth + 3 * 5 + LetterHeight * Slant;
  painter.translate((StampSize.width() - WordWidth) / 2 + LetterHeight * Slant,
                    (StampSize.height() - LetterHeight) / 2);
  painter.setTransform(QTransform(1, 0, -Slant, 1, 0, 0), true);
  qreal left = 0;
  for (const char letter : {'B', 'E', 'T', 'A'}) {
    painter.drawPath(stencilLetter(letter).translated(left, 0));
    left += CellPitch;
  }
  painter.end();
  return withTransparentBackground(image, StampBackground);
}
