#pragma once

#include <QAccessibleWidget>

class QComboBox;

// What assistive technology sees of a TLabelledList. Qt's own interface for
// a combo box names it by its current item on Linux (where the label is
// meant to come from a relation that not every reader follows), so a screen
// reader said "9600" or "None" with no word of what the list sets. This one
// gives the list's accessible name (or its buddy label) as the name and the
// current item as the value, and keeps the combo box's role, its popup list
// as a child and its show-menu action.
class LabelledListAccessible : public QAccessibleWidget {
public:
    explicit LabelledListAccessible(QComboBox* list);

    // Registers the interface for every TLabelledList; once per process.
    static void install();

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
    QStringList keyBindingsForAction(const QString& actionName) const override;

private:
    QComboBox* list() const;
};
