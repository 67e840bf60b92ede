#include "Pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace Pictures {

QPixmap scaleLogo() {
    QPixmap picture(230, 130);
    picture.fill(Qt::white);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor steel(70, 90, 110);
    const QColor accent(200, 30, 45);
    // Platform, column and display of a bench scale.
    p.setPen(Qt::NoPen);
    p.setBrush(steel);
    p.drawRoundedRect(QRectF(20, 92, 120, 12), 3, 3);
    p.drawRect(QRectF(74, 52, 12, 40));
    p.drawRoundedRect(QRectF(48, 26, 64, 30), 4, 4);
    p.setBrush(QColor(190, 235, 200));
    p.drawRect(QRectF(54, 32, 52, 18));
    p.setPen(QPen(steel.darker(), 1));
    QFont digits(QStringLiteral("Monospace"), 10, QFont::Bold);
    p.setFont(digits);
    p.drawText(QRectF(54, 32, 52, 18), Qt::AlignCenter, QStringLiteral("0.000"));
    p.setBrush(accent);
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(20, 108, 120, 4));
    // Name.
    p.setPen(steel);
    QFont name(QStringLiteral("Sans Serif"), 20, QFont::Bold);
    p.setFont(name);
    p.drawText(QRectF(140, 30, 90, 40), Qt::AlignCenter, QStringLiteral("QEL"));
    QFont sub(QStringLiteral("Sans Serif"), 11);
    p.setFont(sub);
    p.setPen(accent);
    p.drawText(QRectF(140, 68, 90, 24), Qt::AlignCenter, QStringLiteral("Tarvo"));
    return picture;
}

QPixmap flag(int index) {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    const QRect area(0, 6, 32, 20);
    if (index == 1) {
        p.fillRect(QRect(0, 6, 32, 10), Qt::white);
        p.fillRect(QRect(0, 16, 32, 10), QColor(220, 20, 60));
        p.setPen(QColor(160, 160, 160));
        p.drawRect(area.adjusted(0, 0, -1, -1));
        return picture;
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setClipRect(area);
    p.fillRect(area, QColor(1, 33, 105));
    p.setPen(QPen(Qt::white, 5));
    p.drawLine(area.topLeft(), area.bottomRight());
    p.drawLine(area.bottomLeft(), area.topRight());
    p.setPen(QPen(QColor(200, 16, 46), 2));
    p.drawLine(area.topLeft(), area.bottomRight());
    p.drawLine(area.bottomLeft(), area.topRight());
    p.fillRect(QRect(13, 6, 6, 20), Qt::white);
    p.fillRect(QRect(0, 13, 32, 6), Qt::white);
    p.fillRect(QRect(14, 6, 4, 20), QColor(200, 16, 46));
    p.fillRect(QRect(0, 14, 32, 4), QColor(200, 16, 46));
    return picture;
}

}  // namespace Pictures
