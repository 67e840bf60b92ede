#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

#include "QELScale.h"

class RecordConverter;
struct RecordBatch;

// Records in arrival order, each with its line exactly as the scale sent it
// and, when the library could read the line, the AlibiRecord it parsed from
// it. Position 0 is the first line that arrived: for a scale that sends its
// memory newest first, the record numbered with the count. A read's records
// and records loaded from the archive take this one form, so that both fill
// the record table through the same RecordConverter.
//
// A plain value: filled on one thread, then moved or read on another.
class RecordSet {
public:
    // `parsed` is null for a line the library could not read (its
    // GetAlibiRecord failed). The texts are copied.
    void append(QByteArrayView line, const AlibiRecord* parsed);
    // Adds the other set's records after these, in their order.
    void append(const RecordSet& other);
    void reserve(size_t records, size_t textBytes);

    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // The line as received, CR LF included.
    QByteArrayView line(size_t position) const;
    bool isParsed(size_t position) const { return entries_[position].parsed; }
    // The record's number; 0 for a line that was not parsed.
    qint64 recordId(size_t position) const { return entries_[position].recordId; }
    // The parsed record; its texts point into this set and stay valid until
    // the set changes. Only for a parsed position.
    AlibiRecord record(size_t position) const;

    // Appends the records' rows in the order the table takes them, last
    // arrival first (as a read copies GetAlibiRecord from the count down to
    // 1). A line that was not parsed ends the copy with RecordTableError, as
    // the library's refusal of that line ends a read's copy; the rows before
    // it stay in the batch. The converter's own errors pass through alike.
    void appendRowsTo(RecordBatch& batch, const RecordConverter& converter) const;

    // Bytes held by the lines and texts, for the benchmarks.
    size_t textBytes() const { return bytes_.size(); }

private:
    // The texts of one record lie one after another in bytes_, each ended by
    // a NUL so that AlibiRecord can point at them: line, date, time, user,
    // product.
    struct Entry {
        size_t offset = 0;
        quint32 lineLength = 0;
        quint16 dateLength = 0;
        quint16 timeLength = 0;
        quint16 userLength = 0;
        quint16 productLength = 0;
        qint64 recordId = 0;
        qint32 number = 0;
        qint32 unit = 0;
        float net = 0;
        float gross = 0;
        float tare = 0;
        qint16 decimals = 0;
        bool stable = false;
        bool parsed = false;
    };

    quint16 appendText(const char* text);
    const char* textAt(size_t offset) const { return bytes_.data() + offset; }

    std::vector<Entry> entries_;
    std::vector<char> bytes_;
};
