#pragma once

#include <QLocale>
#include <QString>
#include <optional>

#include "LanguageTexts.h"

// How far a running read has come and how long the rest will take, from the
// rate of the records so far: "12 345 / 100 000 · 11 min". The rate counts
// from the first record, so that the dialogue before it (the line switch,
// the identity) does not spoil the estimate.
class ReadPace {
public:
    // A new read; times are milliseconds on any steady clock.
    void start();
    // Records received so far at `nowMs`; the first call that sees a record
    // starts the rate's clock.
    void update(qint64 received, qint64 nowMs);

    qint64 received() const { return received_; }
    // Seconds left; nothing before the rate is known.
    std::optional<qint64> secondsLeft(qint64 announced) const;
    // Received out of announced with the locale's thousands separators, and
    // the time left once it is known; empty while nothing is announced.
    QString text(qint64 announced, const QLocale& locale, const LanguageTexts& texts) const;

private:
    qint64 received_ = 0;
    qint64 firstRecordMs_ = -1;  // when the first record was seen
    qint64 firstRecordCount_ = 0;
    qint64 lastMs_ = -1;
};
