#include "TRadioGroup.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QRadioButton>
#include <algorithm>

#include "NamedWidgets.h"

TRadioGroup::TRadioGroup(int columns, QWidget* parent) : QGroupBox(parent), columns_(columns) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setHorizontalSpacing(6);
    connect(&buttons_, &QButtonGroup::buttonClicked, this, [this] { emit clicked(); });
    connect(&buttons_, &QButtonGroup::buttonToggled, this,
            [this](QAbstractButton* button, bool on) {
                if (on) {
                    NamedWidgets::giveTabStop(button, buttons_.buttons());
                }
            });
}

// The buttons are kept and renamed where they can be: a new button would
// join the window's tab order at its end, away from the group.
void TRadioGroup::setItems(const QStringList& items) {
    QList<QAbstractButton*> kept = buttons_.buttons();
    std::sort(kept.begin(), kept.end(), [this](QAbstractButton* a, QAbstractButton* b) {
        return buttons_.id(a) < buttons_.id(b);
    });
    while (kept.size() > items.size()) {
        QAbstractButton* extra = kept.takeLast();
        buttons_.removeButton(extra);
        delete extra;
    }
    // Unchecking an exclusive group's button needs the exclusion off.
    buttons_.setExclusive(false);
    for (QAbstractButton* button : kept) {
        button->setChecked(false);
    }
    buttons_.setExclusive(true);
    auto* grid = static_cast<QGridLayout*>(layout());
    for (int i = 0; i < items.size(); ++i) {
        if (i < kept.size()) {
            kept[i]->setText(items[i]);
            continue;
        }
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
