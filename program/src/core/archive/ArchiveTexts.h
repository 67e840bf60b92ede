#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include "ArchiveNotice.h"
#include "ArchiveProblem.h"
#include "LanguageTexts.h"

// The texts of the record archive's controls and messages, in Polish and
// English: keys of the program's language table under the prefix "archive.",
// and the sentences built from them.
namespace ArchiveTexts {

// Empty for a key that is not in the table.
QString text(Language language, QStringView key);
QString text(Language language, const char* key);

// The operator's headline for a problem ("the archive is locked by another
// program"), without the database's own detail.
QString problem(Language language, ArchiveProblem::Kind kind);

// One line for the status bar; numbers in the locale's format.
QString notice(Language language, const ArchiveNotice& notice, const QLocale& locale);

}  // namespace ArchiveTexts
