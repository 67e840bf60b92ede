#pragma once

#include <QComboBox>

// A drop-down list that assistive technology announces by its label (its
// accessible name, or the label it is the buddy of) and not by the item it
// shows: "Prędkość", then "9600" as its value.
class TLabelledList : public QComboBox {
    Q_OBJECT

public:
    explicit TLabelledList(QWidget* parent = nullptr);
};
