#include "ReadOutcome.h"

#include <cstring>

#include "LibraryText.h"

QString ReadOutcome::describe(const LanguageTexts& texts, const QLocale& locale,
                              int listLimit) const {
    // Counts are read by people: with the locale's thousands separators.
    QLocale numbers = locale;
    numbers.setNumberOptions(QLocale::DefaultNumberOptions);
    QStringList lines;
    lines << texts.text(u"readCounts")
                 .arg(numbers.toString(announced), numbers.toString(received),
                      numbers.toString(unreadableCount()));
    if (!unreadable.isEmpty()) {
        QStringList shown = unreadable.mid(0, listLimit);
        if (unreadable.size() > listLimit) {
            shown << QStringLiteral("…");
        }
        lines << texts.text(u"unreadableIds").arg(shown.join(QStringLiteral(", ")));
    }
    if (rowsKept() > 0) {
        lines << texts.text(u"recordsKept");
    }
    return lines.join(u'\n');
}

QString recordNumberOfLine(const char* line) {
    if (line == nullptr) {
        return QStringLiteral("?");
    }
    const char* end = std::strchr(line, ';');
    const size_t length = end != nullptr ? size_t(end - line) : std::strlen(line);
    // A merged or runaway line has no short first field to show.
    const QString number =
        fromLibraryText(QByteArrayView(line, qsizetype(std::min<size_t>(length, 24)))).trimmed();
    return number.isEmpty() ? QStringLiteral("?") : number;
}
