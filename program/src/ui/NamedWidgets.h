#pragma once

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QList>
#include <QPalette>

// Controls are found by their object names (tests, the status of a read, the
// language step), so every one is created with its name.
namespace NamedWidgets {

inline QGroupBox* group(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

inline QLabel* label(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// A caption as a name for assistive technology: without the blanks and the
// colon that set it off on screen ("Produkt:" names the edit "Produkt").
inline QString accessibleCaption(const QString& caption) {
    QString name = caption.trimmed();
    while (name.endsWith(u':')) {
        name.chop(1);
    }
    return name.trimmed();
}

// Tab enters a group of radio buttons at the checked one, however it was
// checked; Qt itself moves the stop only to the button last focused, so a
// kind checked by the stored settings or a language switch was passed over.
inline void giveTabStop(QAbstractButton* checked, const QList<QAbstractButton*>& group) {
    for (QAbstractButton* button : group) {
        button->setFocusPolicy(button == checked
                                   ? Qt::FocusPolicy(button->focusPolicy() | Qt::TabFocus)
                                   : Qt::FocusPolicy(button->focusPolicy() & ~Qt::TabFocus));
    }
}

inline void makeBold(QWidget* widget) {
    QFont bold = widget->font();
    bold.setBold(true);
    widget->setFont(bold);
}

inline void fillWhite(QWidget* widget) {
    widget->setAutoFillBackground(true);
    QPalette white = widget->palette();
    white.setColor(QPalette::Window, Qt::white);
    widget->setPalette(white);
}

}  // namespace NamedWidgets
