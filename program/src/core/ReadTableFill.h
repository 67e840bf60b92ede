#pragma once

#include <QString>
#include <optional>

#include "LanguageTexts.h"
#include "RecordLayout.h"
#include "RecordRows.h"

class RecordTableModel;

// Brings one read's rows into the record table under the field names of the
// language in force when they arrive. The listener converts the records with
// the texts fixed when the read started; the operator may switch the language
// while the scale still sends, and the switch closes the table. The rows then
// come back under the new language's names, with the new stability texts,
// rather than vanishing behind a closed table.
class ReadTableFill {
public:
    // A new read whose records are converted with these texts.
    void start(const LanguageTexts& readTexts);
    // The read's column line, from which the fields are named again.
    void setColumnLine(const QString& columnLine) { columnLine_ = columnLine; }

    // The fields the read announced (named in the read's language).
    // Returns false when they cannot be named in `now`'s language.
    bool defineFields(RecordTableModel& table, const RecordLayout& readLayout,
                      const LanguageTexts& now);
    // The read's rows. Returns false when the table cannot be defined again in
    // `now`'s language; the table is then closed.
    bool appendRows(RecordTableModel& table, RecordBatch&& batch, const LanguageTexts& now);

private:
    std::optional<RecordLayout> layoutIn(const LanguageTexts& texts) const;
    void translateStability(RecordBatch& batch, const RecordLayout& layout,
                            const LanguageTexts& now) const;

    LanguageTexts readTexts_;
    QString columnLine_;
    bool fieldsAnnounced_ = false;
    quint64 definedGeneration_ = 0;
};
