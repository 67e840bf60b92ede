#include "TLabelledList.h"

#include "LabelledListAccessible.h"

TLabelledList::TLabelledList(QWidget* parent) : QComboBox(parent) {
    LabelledListAccessible::install();
}
