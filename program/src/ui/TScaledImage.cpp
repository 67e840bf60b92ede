#include "TScaledImage.h"

#include <QPainter>

TScaledImage::TScaledImage(const QPixmap& picture, QWidget* parent)
    : QWidget(parent), picture_(picture) {
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setMaximumSize(picture.size());
}

QSize TScaledImage::sizeHint() const {
    return picture_.size();
}

QSize TScaledImage::minimumSizeHint() const {
    return {0, 0};
}

void TScaledImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull() || width() <= 0 || height() <= 0) {
        return;
    }
    const QSize drawn = picture_.size().scaled(size(), Qt::KeepAspectRatio);
    const QRect target(QPoint((width() - drawn.width()) / 2, (height() - drawn.height()) / 2),
                       drawn);
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(target, picture_);
}
