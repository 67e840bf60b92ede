#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

// A captioned group of radio buttons laid out in columns, addressed by item
// index.
class TRadioGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TRadioGroup(int columns, QWidget* parent = nullptr);

    // Replaces the items; none is selected afterwards.
    void setItems(const QStringList& items);
    QStringList items() const;
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    // The operator clicked an item.
    void clicked();

private:
    int columns_;
    QButtonGroup buttons_;
};
