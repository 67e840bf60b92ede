#include "LabelledListAccessible.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

#include "TLabelledList.h"

namespace {

QAccessibleInterface* labelledListFactory(const QString& className, QObject* object) {
    if (object != nullptr && object->isWidgetType() &&
        className == QLatin1String(TLabelledList::staticMetaObject.className())) {
        return new LabelledListAccessible(static_cast<QComboBox*>(object));
    }
    return nullptr;
}

}  // namespace

LabelledListAccessible::LabelledListAccessible(QComboBox* list)
    : QAccessibleWidget(list, QAccessible::ComboBox) {}

void LabelledListAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(labelledListFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

QComboBox* LabelledListAccessible::list() const {
    return static_cast<QComboBox*>(widget());
}

QString LabelledListAccessible::text(QAccessible::Text kind) const {
    const QString shown = list()->isEditable() && list()->lineEdit() != nullptr
                              ? list()->lineEdit()->text()
                              : list()->currentText();
    switch (kind) {
        case QAccessible::Name: {
            // Accessible name, else the label whose buddy the list is; a list
            // with neither is still named by what it shows, as Qt does.
            const QString name = QAccessibleWidget::text(kind);
            return name.isEmpty() ? shown : name;
        }
        case QAccessible::Value:
            return shown;
        default:
            return QAccessibleWidget::text(kind);
    }
}

QAccessible::State LabelledListAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    const bool open = list()->view() != nullptr && list()->view()->isVisible();
    state.expandable = true;
    state.expanded = open;
    state.collapsed = !open;
    state.editable = list()->isEditable();
    return state;
}

// The popup list first, then the edit of an editable list.
int LabelledListAccessible::childCount() const {
    return list()->isEditable() && list()->lineEdit() != nullptr ? 2 : 1;
}

QAccessibleInterface* LabelledListAccessible::child(int index) const {
    if (index == 0) {
        return QAccessible::queryAccessibleInterface(list()->view());
    }
    if (index == 1 && childCount() == 2) {
        return QAccessible::queryAccessibleInterface(list()->lineEdit());
    }
    return nullptr;
}

int LabelledListAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (child == nullptr) {
        return -1;
    }
    if (child->object() == list()->view()) {
        return 0;
    }
    if (childCount() == 2 && child->object() == list()->lineEdit()) {
        return 1;
    }
    return -1;
}

QAccessibleInterface* LabelledListAccessible::childAt(int x, int y) const {
    if (childCount() == 2) {
        QLineEdit* edit = list()->lineEdit();
        const QRect area(edit->mapToGlobal(QPoint(0, 0)), edit->size());
        if (area.contains(x, y)) {
            return child(1);
        }
    }
    return nullptr;
}

QStringList LabelledListAccessible::actionNames() const {
    QStringList names{showMenuAction(), pressAction()};
    for (const QString& name : QAccessibleWidget::actionNames()) {
        if (!names.contains(name)) {
            names.append(name);
        }
    }
    return names;
}

void LabelledListAccessible::doAction(const QString& actionName) {
    if (actionName == showMenuAction() || actionName == pressAction()) {
        if (list()->view()->isVisible()) {
            list()->hidePopup();
        } else {
            list()->showPopup();
        }
        return;
    }
    QAccessibleWidget::doAction(actionName);
}

QStringList LabelledListAccessible::keyBindingsForAction(const QString& actionName) const {
    if (actionName == showMenuAction() || actionName == pressAction()) {
        return {QStringLiteral("Alt+Down")};
    }
    return QAccessibleWidget::keyBindingsForAction(actionName);
}
