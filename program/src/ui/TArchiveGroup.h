#pragma once

#include <QGroupBox>

#include "LanguageTexts.h"

class QPushButton;

// The record archive's group in the settings panel ("gbArchiwum"): browsing
// the archive, with or without a scale attached, and its settings.
class TArchiveGroup : public QGroupBox {
    Q_OBJECT

public:
    explicit TArchiveGroup(QWidget* parent = nullptr);

    void applyCaptions(Language language);

    QPushButton* browseButton() const { return btnPrzegladajArchiwum; }
    QPushButton* settingsButton() const { return btnUstawieniaArchiwum; }

private:
    QPushButton* btnPrzegladajArchiwum = nullptr;
    QPushButton* btnUstawieniaArchiwum = nullptr;
};
