#pragma once

#include <QPixmap>
#include <QWidget>

// A picture drawn proportionally into whatever room it gets, up to its own
// size; it never makes the window wider than the rest needs.
class TScaledImage : public QWidget {
    Q_OBJECT

public:
    explicit TScaledImage(const QPixmap& picture, QWidget* parent = nullptr);

    const QPixmap& picture() const { return picture_; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap picture_;
};
