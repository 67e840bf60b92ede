#pragma once

#include <QString>
#include <vector>

#include "LanguageTexts.h"

enum class FieldType { Integer64, DateTime, Real, Text };

struct FieldDefinition {
    QString name;
    FieldType type;
};

// The fields of the record table, defined from the column line the scale
// sends before its records.
class RecordLayout {
public:
    // Text fields hold at most this many characters.
    static constexpr int kTextSize = 16;
    // Records fill the first ten fields by position.
    static constexpr int kRecordFieldCount = 10;

    // Recognised column names add their fields, in the language in force;
    // other names are skipped, except the last piece, which becomes a field
    // of its own. Throws RecordTableError when a name occurs twice.
    static RecordLayout fromColumnLine(const QString& columnLine, const LanguageTexts& texts);

    // Throws RecordTableError when the name is taken (regardless of case).
    void add(const QString& name, FieldType type);

    const std::vector<FieldDefinition>& fields() const { return fields_; }
    int fieldCount() const { return static_cast<int>(fields_.size()); }
    // Regardless of letter case; -1 when absent.
    int indexOf(QStringView name) const;

private:
    std::vector<FieldDefinition> fields_;
};
