#include "RecordLayout.h"

#include "RecordTableError.h"

namespace {

struct KnownColumn {
    const char* column;  // as the scale names it
    const char* key;     // language key of the field name; null: fixed "RecID"
    FieldType type;
};

constexpr KnownColumn kKnownColumns[] = {
    {"REC_ID", nullptr, FieldType::Integer64},
    {"TIME", "dateTime", FieldType::DateTime},
    {"NUM", "Nr", FieldType::Text},
    {"USER_ID", "userID", FieldType::Text},
    {"PROD_ID", "prodID", FieldType::Text},
    {"NET", "net", FieldType::Real},
    {"GROSS", "gross", FieldType::Real},
    {"TARE", "tare", FieldType::Real},
    {"UNIT", "unit", FieldType::Text},
    {"STB", "stb", FieldType::Text},
};

QString fieldName(const KnownColumn& known, const LanguageTexts& texts) {
    return known.key == nullptr ? QStringLiteral("RecID") : texts.text(QLatin1String(known.key));
}

// Trailing blanks and control characters end the column line (CR LF).
QString withoutTrailingControls(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].unicode() <= 0x20) {
        --end;
    }
    return text.left(end);
}

}  // namespace

RecordLayout RecordLayout::fromColumnLine(const QString& columnLine, const LanguageTexts& texts) {
    RecordLayout layout;
    QString rest = columnLine;
    for (qsizetype separator = rest.indexOf(u';'); separator >= 0; separator = rest.indexOf(u';')) {
        const QString piece = rest.left(separator);
        rest.remove(0, separator + 1);
        for (const KnownColumn& known : kKnownColumns) {
            if (piece == QLatin1String(known.column)) {
                layout.add(fieldName(known, texts), known.type);
                break;
            }
        }
    }
    QString last = withoutTrailingControls(rest);
    if (last.isEmpty()) {
        return layout;
    }
    if (last.contains(QLatin1String("STB"), Qt::CaseInsensitive)) {
        layout.add(texts.text(u"stb"), FieldType::Text);
        last.remove(QLatin1String("STB"), Qt::CaseSensitive);
    }
    if (!last.isEmpty()) {
        layout.add(last, FieldType::Text);
    }
    return layout;
}

void RecordLayout::add(const QString& name, FieldType type) {
    if (indexOf(name) >= 0) {
        throw RecordTableError("Duplicate field name '" + name.toStdString() + "'");
    }
    fields_.push_back({name, type});
}

int RecordLayout::indexOf(QStringView name) const {
    for (size_t i = 0; i < fields_.size(); ++i) {
        if (name.compare(fields_[i].name, Qt::CaseInsensitive) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}
