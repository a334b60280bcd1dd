#include "app/programicon.h"

#include <QPainter>

QImage programImage(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // The sheet, with a title block in its lower right corner.
    p.setPen(QPen(QColor(0, 0, 128), 1.2));
    p.setBrush(QColor(235, 242, 255));
    p.drawRect(QRectF(2.5, 2.5, 19, 24));
    p.drawRect(QRectF(12.5, 20.5, 9, 6));
    p.drawLine(QPointF(5, 8), QPointF(18, 8));
    p.drawLine(QPointF(5, 12), QPointF(14, 12));

    // The table the values go to.
    p.setBrush(Qt::white);
    p.setPen(QPen(QColor(0, 0, 255), 1.2));
    p.drawRect(QRectF(15.5, 12.5, 14, 17));
    for (double y : {17.0, 21.5, 26.0}) p.drawLine(QPointF(15.5, y), QPointF(29.5, y));
    p.drawLine(QPointF(21.5, 12.5), QPointF(21.5, 29.5));
    p.fillRect(QRectF(16, 13, 13, 3.5), QColor(255, 0, 0));
    p.end();
    return image;
}

QPixmap programPixmap(int size) { return QPixmap::fromImage(programImage(size)); }

QIcon programIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) icon.addPixmap(programPixmap(size));
    return icon;
}
