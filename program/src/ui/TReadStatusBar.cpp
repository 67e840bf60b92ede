#include "TReadStatusBar.h"

#include <QLabel>
#include <QProgressBar>

TReadStatusBar::TReadStatusBar(QWidget* parent) : QStatusBar(parent) {
    setObjectName(QStringLiteral("StatusBar1"));
    statePanel = new QLabel(this);
    statePanel->setObjectName(QStringLiteral("StatusPanel0"));
    statePanel->setFixedWidth(70);
    statePanel->setFrameShape(QFrame::Panel);
    statePanel->setFrameShadow(QFrame::Sunken);
    addWidget(statePanel);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    addWidget(ProgressBar1, 1);
    pacePanel = new QLabel(this);
    pacePanel->setObjectName(QStringLiteral("ReadPacePanel"));
    pacePanel->setFrameShape(QFrame::Panel);
    pacePanel->setFrameShadow(QFrame::Sunken);
    pacePanel->hide();
    addPermanentWidget(pacePanel);
    setSizeGripEnabled(false);
}

QString TReadStatusBar::stateText() const {
    return statePanel->text();
}

void TReadStatusBar::setStateText(const QString& text) {
    statePanel->setText(text);
}

void TReadStatusBar::setProgress(int percent) {
    ProgressBar1->setValue(percent);
}

void TReadStatusBar::setReadPace(const QString& text) {
    pacePanel->setText(text);
    pacePanel->setVisible(!text.isEmpty());
}

QString TReadStatusBar::readPace() const {
    return pacePanel->text();
}
