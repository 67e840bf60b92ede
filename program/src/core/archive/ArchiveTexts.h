#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include "ArchiveNotice.h"
#include "ArchiveProblem.h"
#include "LanguageTexts.h"

// The texts of the record archive's controls and messages, in Polish and
// English, beside the program's own language table (whose keys and texts
// stay as they are).
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
