#include "ReadTableFill.h"

#include "RecordTableError.h"
#include "RecordTableModel.h"

namespace {

// Records fill the stability field at this position.
constexpr int kStabilityPosition = 9;

}  // namespace

void ReadTableFill::start(const LanguageTexts& readTexts) {
    readTexts_ = readTexts;
    columnLine_.clear();
    fieldsAnnounced_ = false;
    definedGeneration_ = 0;
}

std::optional<RecordLayout> ReadTableFill::layoutIn(const LanguageTexts& texts) const {
    try {
        return RecordLayout::fromColumnLine(columnLine_, texts);
    } catch (const RecordTableError&) {
        // Names that are distinct in one language may clash in the other
        // (an extra column called "Net").
        return std::nullopt;
    }
}

bool ReadTableFill::defineFields(RecordTableModel& table, const RecordLayout& readLayout,
                                 const LanguageTexts& now) {
    fieldsAnnounced_ = true;
    std::optional<RecordLayout> layout = readLayout;
    if (now.language() != readTexts_.language()) {
        layout = layoutIn(now);
    }
    if (!layout) {
        table.closeTable();
        return false;
    }
    table.defineFields(*layout);
    definedGeneration_ = table.layoutGeneration();
    return true;
}

bool ReadTableFill::appendRows(RecordTableModel& table, RecordBatch&& batch,
                               const LanguageTexts& now) {
    if (fieldsAnnounced_ && table.layoutGeneration() != definedGeneration_) {
        // A language switch closed the table this read defined.
        const std::optional<RecordLayout> layout = layoutIn(now);
        if (!layout) {
            table.closeTable();
            return false;
        }
        table.defineFields(*layout);
        definedGeneration_ = table.layoutGeneration();
    }
    if (now.language() != readTexts_.language()) {
        translateStability(batch, table.layout(), now);
    }
    table.appendRows(std::move(batch));
    return true;
}

// The stability cells hold the read language's "Y" or "N" text; every row
// shares one reference to the new language's text.
void ReadTableFill::translateStability(RecordBatch& batch, const RecordLayout& layout,
                                       const LanguageTexts& now) const {
    if (layout.fieldCount() <= kStabilityPosition ||
        layout.fields()[kStabilityPosition].type != FieldType::Text || batch.rows.empty()) {
        return;
    }
    const QString oldYes = readTexts_.text(u"Y");
    const QString oldNo = readTexts_.text(u"N");
    const quint64 yes = batch.texts.add(now.text(u"Y"), RecordLayout::kTextSize);
    const quint64 no = batch.texts.add(now.text(u"N"), RecordLayout::kTextSize);
    for (RecordRow& row : batch.rows) {
        if (row.isNull(kStabilityPosition)) {
            continue;
        }
        const QStringView text = batch.texts.view(row.values[kStabilityPosition]);
        if (text == oldYes) {
            row.values[kStabilityPosition] = yes;
        } else if (text == oldNo) {
            row.values[kStabilityPosition] = no;
        }
    }
}
