#include "gui/app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace tapewell::gui {
namespace {

// The SVG's drawing on the same 16-unit grid, for a Qt without the SVG plugin.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    const QColor gold(0xe8, 0xc0, 0x6a);
    QPainterPath tile;
    tile.addRoundedRect(QRectF(0, 0, 16, 16), 3, 3);
    painter.fillPath(tile, QColor(0x23, 0x3a, 0x50));
    painter.fillRect(QRectF(4.5, 8, 7, 1), gold);
    for (const QPointF hub : {QPointF(4.5, 6.5), QPointF(11.5, 6.5)}) {
        painter.setPen(QPen(gold, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(hub, 2, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(gold);
        painter.drawEllipse(hub, 0.5, 0.5);
    }
    painter.fillRect(QRectF(3, 12, 10, 1), QColor(0xf4, 0xf1, 0xea));
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    // Without the SVG icon engine QIcon still accepts the file but renders
    // nothing, so a null pixmap is what tells the two cases apart.
    QIcon drawing(QStringLiteral(":/icons/tapewell.svg"));
    if (!drawing.pixmap(16, 16).isNull()) {
        return drawing;
    }
    QIcon painted;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        painted.addPixmap(DrawIcon(size));
    }
    return painted;
}

}  // namespace tapewell::gui
