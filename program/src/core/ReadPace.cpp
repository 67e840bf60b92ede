#include "ReadPace.h"

#include <cmath>

void ReadPace::start() {
    *this = ReadPace();
}

void ReadPace::update(qint64 received, qint64 nowMs) {
    if (received > 0 && firstRecordMs_ < 0) {
        firstRecordMs_ = nowMs;
        firstRecordCount_ = received;
    }
    received_ = received;
    lastMs_ = nowMs;
}

std::optional<qint64> ReadPace::secondsLeft(qint64 announced) const {
    const qint64 counted = received_ - firstRecordCount_;
    const qint64 elapsedMs = lastMs_ - firstRecordMs_;
    if (firstRecordMs_ < 0 || counted <= 0 || elapsedMs <= 0) {
        return std::nullopt;
    }
    const qint64 remaining = std::max<qint64>(announced - received_, 0);
    const double perRecordMs = double(elapsedMs) / double(counted);
    return qint64(std::ceil(remaining * perRecordMs / 1000.0));
}

QString ReadPace::text(qint64 announced, const QLocale& locale, const LanguageTexts& texts) const {
    if (announced <= 0) {
        return {};
    }
    // Counts are read by people: with the locale's thousands separators.
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::DefaultNumberOptions);
    QString text =
        numbers.toString(received_) + QStringLiteral(" / ") + numbers.toString(announced);
    const std::optional<qint64> seconds = secondsLeft(announced);
    if (!seconds) {
        return text;
    }
    text += QStringLiteral(" · ");
    if (*seconds >= 60) {
        // Whole minutes, rounded up: "1 min" while anything is left of it.
        text += texts.text(u"minutesLeft").arg(numbers.toString((*seconds + 59) / 60));
    } else {
        text += texts.text(u"secondsLeft").arg(numbers.toString(*seconds));
    }
    return text;
}
