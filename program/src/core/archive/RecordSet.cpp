#include "RecordSet.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "RecordConversion.h"
#include "RecordRows.h"
#include "RecordTableError.h"

namespace {

// A record's texts are fields of one short line; anything longer is cut
// rather than let one length spill into the next text.
constexpr size_t kMaxFieldLength = std::numeric_limits<quint16>::max();

}  // namespace

quint16 RecordSet::appendText(const char* text) {
    const size_t length = text == nullptr ? 0 : std::min(std::strlen(text), kMaxFieldLength);
    bytes_.insert(bytes_.end(), text, text + length);
    bytes_.push_back('\0');
    return static_cast<quint16>(length);
}

void RecordSet::append(QByteArrayView line, const AlibiRecord* parsed) {
    Entry entry;
    entry.offset = bytes_.size();
    const auto lineLength =
        static_cast<size_t>(std::min<qsizetype>(line.size(), std::numeric_limits<quint32>::max()));
    entry.lineLength = static_cast<quint32>(lineLength);
    bytes_.insert(bytes_.end(), line.data(), line.data() + lineLength);
    bytes_.push_back('\0');
    if (parsed != nullptr) {
        entry.parsed = true;
        entry.dateLength = appendText(parsed->date);
        entry.timeLength = appendText(parsed->time);
        entry.userLength = appendText(parsed->userId);
        entry.productLength = appendText(parsed->productId);
        entry.recordId = parsed->recordId;
        entry.number = parsed->number;
        entry.unit = parsed->unit;
        entry.net = parsed->net;
        entry.gross = parsed->gross;
        entry.tare = parsed->tare;
        entry.decimals = parsed->decimals;
        entry.stable = parsed->stable;
    }
    entries_.push_back(entry);
}

void RecordSet::append(const RecordSet& other) {
    const size_t moved = bytes_.size();
    bytes_.insert(bytes_.end(), other.bytes_.begin(), other.bytes_.end());
    entries_.reserve(entries_.size() + other.entries_.size());
    for (Entry entry : other.entries_) {
        entry.offset += moved;
        entries_.push_back(entry);
    }
}

void RecordSet::reserve(size_t records, size_t textBytes) {
    entries_.reserve(records);
    bytes_.reserve(textBytes);
}

QByteArrayView RecordSet::line(size_t position) const {
    const Entry& entry = entries_[position];
    return QByteArrayView(textAt(entry.offset), entry.lineLength);
}

AlibiRecord RecordSet::record(size_t position) const {
    const Entry& entry = entries_[position];
    AlibiRecord record{};
    size_t offset = entry.offset + entry.lineLength + 1;
    auto next = [&](quint16 length) {
        const char* text = textAt(offset);
        offset += size_t(length) + 1;
        return text;
    };
    record.date = next(entry.dateLength);
    record.time = next(entry.timeLength);
    record.userId = next(entry.userLength);
    record.productId = next(entry.productLength);
    record.recordId = entry.recordId;
    record.number = entry.number;
    record.unit = entry.unit;
    record.net = entry.net;
    record.gross = entry.gross;
    record.tare = entry.tare;
    record.decimals = entry.decimals;
    record.stable = entry.stable;
    return record;
}

void RecordSet::appendRowsTo(RecordBatch& batch, const RecordConverter& converter) const {
    batch.rows.reserve(batch.rows.size() + entries_.size());
    for (size_t position = entries_.size(); position-- > 0;) {
        if (!entries_[position].parsed) {
            throw RecordTableError("record line " + std::to_string(position + 1) +
                                   " could not be read");
        }
        converter.append(record(position), batch);
    }
}
