#pragma once

#include <QDate>
#include <QStringView>
#include <QTime>
#include <array>
#include <cstdint>
#include <vector>

// All texts of a table in one block, so that a row stays small: a text cell
// holds its offset and length in the block instead of a string of its own.
class TextArena {
public:
    // Longer texts are cut to `maxLength` characters.
    quint64 add(QStringView text, int maxLength);
    // ASCII bytes, copied without an intermediate string.
    quint64 addAscii(const char* text, qsizetype length, int maxLength);
    QStringView view(quint64 reference) const;

    void reserve(size_t characters) { chars_.reserve(characters); }
    size_t size() const { return chars_.size(); }
    size_t capacity() const { return chars_.capacity(); }
    // Appends another arena; its references move by the returned offset.
    quint64 append(const TextArena& other);
    static quint64 moved(quint64 reference, quint64 offset) { return reference + (offset << 5); }

private:
    static quint64 reference(size_t offset, qsizetype length) {
        return (static_cast<quint64>(offset) << 5) | static_cast<quint64>(length);
    }
    std::vector<char16_t> chars_;
};

// One record's values, typed by the field at each position: 64-bit integer,
// date-time (see encodeDateTime), double (bit pattern) or text (TextArena
// reference). Values past the tenth field are always null.
struct RecordRow {
    static constexpr int kValueCount = 10;
    std::array<quint64, kValueCount> values{};
    quint16 nullMask = 0;  // bit i set: value i is null

    bool isNull(int i) const { return i >= kValueCount || (nullMask >> i) & 1u; }
    void setNull(int i) { nullMask |= static_cast<quint16>(1u << i); }
};

struct RecordBatch {
    std::vector<RecordRow> rows;
    TextArena texts;
};

// A local date and time without a time zone, as milliseconds counted from
// the start of the Julian day 0, so that the order of the numbers is the
// order of the moments.
qint64 encodeDateTime(QDate date, QTime time);
QDate decodeDate(qint64 value);
QTime decodeTime(qint64 value);
