#pragma once

#include <QStatusBar>

class QLabel;
class QProgressBar;

// The status bar ("StatusBar1"): panel 0 holds the state text of the last
// read; the progress bar takes panel 1's place, so it follows the panel when
// the window is resized.
class TReadStatusBar : public QStatusBar {
    Q_OBJECT

public:
    explicit TReadStatusBar(QWidget* parent = nullptr);

    QString stateText() const;
    void setStateText(const QString& text);
    void setProgress(int percent);
    // Records received out of announced and the time left, while a read
    // runs; an empty text hides the panel.
    void setReadPace(const QString& text);
    QString readPace() const;

private:
    QLabel* statePanel = nullptr;
    QLabel* pacePanel = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
};
