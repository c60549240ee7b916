#include "app/qt/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace passerelle {

namespace {

// passerelle.svg is drawn on a 64 × 64 canvas; these are its shapes.
void DrawIcon(QPainter& painter) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xf3, 0xef, 0xe4));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

  const QColor ink(0x5b, 0x6b, 0x7a);
  for (const qreal left : {6.0, 40.0}) {
    painter.setPen(QPen(ink, 1.5));
    painter.setBrush(Qt::white);
    painter.drawRect(QRectF(left, 14, 18, 24));
    painter.setPen(QPen(ink, 1));
    for (const qreal y : {20.0, 26.0, 32.0})
      painter.drawLine(QPointF(left, y), QPointF(left + 18, y));
    painter.drawLine(QPointF(left + 9, 14), QPointF(left + 9, 38));
  }
  painter.setPen(Qt::NoPen);
  painter.setOpacity(0.8);
  painter.setBrush(QColor(0xd6, 0xa1, 0x3a));
  painter.drawRect(QRectF(6, 14, 18, 6));
  painter.setBrush(QColor(0x3a, 0x8f, 0xd6));
  painter.drawRect(QRectF(40, 14, 18, 6));
  painter.setOpacity(1);

  const QColor bridge(0xb0, 0x43, 0x2f);
  QPainterPath arch(QPointF(4, 52));
  arch.quadTo(QPointF(32, 30), QPointF(60, 52));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(bridge, 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawPath(arch);
  painter.setPen(QPen(bridge, 2));
  painter.drawLine(QPointF(18, 44.5), QPointF(18, 56));
  painter.drawLine(QPointF(32, 41), QPointF(32, 56));
  painter.drawLine(QPointF(46, 44.5), QPointF(46, 56));
  painter.setPen(QPen(QColor(0x3f, 0x7f, 0xae), 3, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(4, 56), QPointF(60, 56));
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.scale(size / 64.0, size / 64.0);
    DrawIcon(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace passerelle
