#include "TRadioGroup.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(int columns, QWidget* parent) : QGroupBox(parent), columns_(columns) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setHorizontalSpacing(6);
    connect(&buttons_, &QButtonGroup::buttonClicked, this, [this] { emit clicked(); });
}

void TRadioGroup::setItems(const QStringList& items) {
    const auto old = buttons_.buttons();
    for (QAbstractButton* button : old) {
        buttons_.removeButton(button);
        delete button;
    }
    auto* grid = static_cast<QGridLayout*>(layout());
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("%1Item%2").arg(objectName()).arg(i));
        buttons_.addButton(button, i);
        grid->addWidget(button, i / columns_, i % columns_);
    }
}

QStringList TRadioGroup::items() const {
    QStringList list;
    for (int i = 0; QAbstractButton* button = buttons_.button(i); ++i) {
        list.append(button->text());
    }
    return list;
}

int TRadioGroup::itemIndex() const {
    return buttons_.checkedId();
}

void TRadioGroup::setItemIndex(int index) {
    if (QAbstractButton* button = buttons_.button(index)) {
        button->setChecked(true);
    }
}
