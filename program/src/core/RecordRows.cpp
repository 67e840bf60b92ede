#include "RecordRows.h"

namespace {
constexpr qint64 kMsecsPerDay = 86'400'000;
}

quint64 TextArena::add(QStringView text, int maxLength) {
    const qsizetype length = std::min<qsizetype>(text.size(), maxLength);
    const size_t offset = chars_.size();
    chars_.insert(chars_.end(), reinterpret_cast<const char16_t*>(text.data()),
                  reinterpret_cast<const char16_t*>(text.data()) + length);
    return reference(offset, length);
}

quint64 TextArena::addAscii(const char* text, qsizetype length, int maxLength) {
    length = std::min<qsizetype>(length, maxLength);
    const size_t offset = chars_.size();
    for (qsizetype i = 0; i < length; ++i) {
        chars_.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i])));
    }
    return reference(offset, length);
}

QStringView TextArena::view(quint64 reference) const {
    const size_t offset = reference >> 5;
    const auto length = static_cast<qsizetype>(reference & 31u);
    if (offset + static_cast<size_t>(length) > chars_.size()) {
        return {};
    }
    return QStringView(chars_.data() + offset, length);
}

quint64 TextArena::append(const TextArena& other) {
    const quint64 offset = chars_.size();
    chars_.insert(chars_.end(), other.chars_.begin(), other.chars_.end());
    return offset;
}

qint64 encodeDateTime(QDate date, QTime time) {
    return date.toJulianDay() * kMsecsPerDay + (time.isValid() ? time.msecsSinceStartOfDay() : 0);
}

QDate decodeDate(qint64 value) {
    qint64 day = value / kMsecsPerDay;
    if (value % kMsecsPerDay < 0) {
        --day;
    }
    return QDate::fromJulianDay(day);
}

QTime decodeTime(qint64 value) {
    qint64 msecs = value % kMsecsPerDay;
    if (msecs < 0) {
        msecs += kMsecsPerDay;
    }
    return QTime::fromMSecsSinceStartOfDay(static_cast<int>(msecs));
}
