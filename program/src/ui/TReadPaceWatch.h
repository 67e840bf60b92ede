#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include "DisplayFormats.h"
#include "LanguageTexts.h"
#include "ReadPace.h"

class AlibiReadSession;
class TReadStatusBar;

// Shows in the status bar, while a read runs, how many records arrived out of
// those announced and the time left, refreshed a few times a second.
class TReadPaceWatch : public QObject {
    Q_OBJECT

public:
    TReadPaceWatch(const AlibiReadSession& session, TReadStatusBar& statusBar,
                   QObject* parent = nullptr);

    // `texts` and `formats` stay valid while the watch runs (the window's).
    void start(const LanguageTexts& texts, const DisplayFormats& formats);
    void stop();

private:
    void refresh();

    const AlibiReadSession& session_;
    TReadStatusBar& statusBar_;
    const LanguageTexts* texts_ = nullptr;
    const DisplayFormats* formats_ = nullptr;
    QTimer timer_;
    QElapsedTimer clock_;
    ReadPace pace_;
};
