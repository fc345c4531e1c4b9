#include "gui/app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tapewell::gui {
namespace {

QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0.5, 0.5, size - 1.0, size - 1.0), 3 * unit, 3 * unit);
    painter.fillPath(tile, QColor(0x23, 0x3a, 0x50));
    painter.setPen(QPen(QColor(0xe8, 0xc0, 0x6a), qMax<qreal>(1.0, 1.2 * unit)));
    const qreal radius = 2.8 * unit;
    const QPointF left(5 * unit, 7 * unit);
    const QPointF right(11 * unit, 7 * unit);
    painter.drawEllipse(left, radius, radius);
    painter.drawEllipse(right, radius, radius);
    painter.drawLine(QPointF(left.x(), left.y() + radius), QPointF(right.x(), right.y() + radius));
    painter.setBrush(QColor(0xe8, 0xc0, 0x6a));
    painter.drawEllipse(left, 0.6 * unit, 0.6 * unit);
    painter.drawEllipse(right, 0.6 * unit, 0.6 * unit);
    painter.fillRect(QRectF(3 * unit, 12 * unit, 10 * unit, 1.2 * unit), QColor(0xf4, 0xf1, 0xea));
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(DrawIcon(size));
    }
    return icon;
}

}  // namespace tapewell::gui
