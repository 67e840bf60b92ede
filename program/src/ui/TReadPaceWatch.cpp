#include "TReadPaceWatch.h"

#include "AlibiReadSession.h"
#include "TReadStatusBar.h"

namespace {

constexpr int kRefreshMs = 250;

}  // namespace

TReadPaceWatch::TReadPaceWatch(const AlibiReadSession& session, TReadStatusBar& statusBar,
                               QObject* parent)
    : QObject(parent), session_(session), statusBar_(statusBar) {
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &TReadPaceWatch::refresh);
}

void TReadPaceWatch::start(const LanguageTexts& texts, const DisplayFormats& formats) {
    texts_ = &texts;
    formats_ = &formats;
    pace_.start();
    clock_.start();
    timer_.start();
}

void TReadPaceWatch::stop() {
    timer_.stop();
    statusBar_.setReadPace(QString());
}

void TReadPaceWatch::refresh() {
    pace_.update(session_.receivedLineCount(), clock_.elapsed());
    // The texts of the language in force: the operator may switch it.
    statusBar_.setReadPace(pace_.text(session_.announcedCount(), formats_->locale(), *texts_));
}
