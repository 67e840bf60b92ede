#include "ArchiveTexts.h"

#include <iterator>

namespace {

struct Entry {
    const char* key;
    const char16_t* polish;
    const char16_t* english;
};

const Entry kTexts[] = {
    {"fullRead", u"Pełny odczyt", u"Full read"},
    {"fullReadHint", u"Odczytaj wszystkie rekordy wagi, także te, które są już w archiwum",
     u"Read every record of the scale, also those already in the archive"},
    {"archive", u"Archiwum", u"Archive"},
    {"browseArchive", u"Przeglądaj archiwum", u"Browse the archive"},
    {"archiveSettings", u"Ustawienia archiwum", u"Archive settings"},
    {"showRecords", u"Pokaż w tabeli", u"Show in the grid"},
    {"refreshList", u"Odśwież", u"Refresh"},
    {"close", u"Zamknij", u"Close"},
    {"save", u"Zapisz", u"Save"},
    {"cancel", u"Anuluj", u"Cancel"},
    {"archiveKind", u"Rodzaj archiwum", u"Archive kind"},
    {"sqliteFile", u"Plik archiwum (SQLite)", u"Archive file (SQLite)"},
    {"sqliteFileHint", u"Puste: plik w folderze danych użytkownika",
     u"Empty: a file in the user's data folder"},
    {"chooseFile", u"Wybierz...", u"Choose..."},
    {"server", u"Serwer PostgreSQL", u"PostgreSQL server"},
    {"host", u"Adres serwera", u"Server address"},
    {"port", u"Port", u"Port"},
    {"database", u"Baza danych", u"Database"},
    {"user", u"Użytkownik", u"User"},
    {"password", u"Hasło", u"Password"},
    {"passwordHint", u"Puste: hasło z pliku ~/.pgpass lub zmiennej PGPASSWORD",
     u"Empty: the password from ~/.pgpass or PGPASSWORD"},
    {"options", u"Dodatkowe opcje połączenia", u"More connection options"},
    {"settingsNotSaved", u"Nie udało się zapisać ustawień archiwum.",
     u"The archive settings could not be saved."},
    {"portInvalid", u"Port musi być liczbą od 1 do 65535.",
     u"The port must be a number from 1 to 65535."},
    {"serverIncomplete", u"Podaj adres serwera i nazwę bazy danych.",
     u"Enter the server address and the database name."},
    {"scaleColumn", u"Waga", u"Scale"},
    {"recordsColumn", u"Rekordów", u"Records"},
    {"numbersColumn", u"Najwyższy numer", u"Highest number"},
    {"lastReadColumn", u"Ostatni odczyt", u"Last read"},
    {"scaleItem", u"%1, nr seryjny %2", u"%1, serial no. %2"},
    {"memoryItem", u"Pamięć %1", u"Memory %1"},
    {"noScales", u"Archiwum nie zawiera jeszcze żadnej wagi.", u"The archive holds no scale yet."},
    {"listFailed", u"Nie udało się odczytać archiwum: %1", u"The archive could not be read: %1"},
    {"noticeOpening", u"Archiwum: otwieranie...", u"Archive: opening..."},
    {"noticeReady", u"Archiwum: %1", u"Archive: %1"},
    {"noticeUnavailable", u"Archiwum niedostępne: %1", u"Archive unavailable: %1"},
    {"noticeIncremental", u"Odczyt przyrostowy: nowe %1, z archiwum %2",
     u"Incremental read: %1 new, %2 from the archive"},
    {"noticeFullArchived", u"Odczyt pełny: nowe w archiwum %1",
     u"Full read: %1 new in the archive"},
    {"noticeFallback", u"Rekordy wagi nie zgadzają się z archiwum: odczyt pełny",
     u"The scale's records do not match the archive: reading in full"},
    {"noticeOlderMissing", u"Archiwum nie wydało starszych rekordów: odczyt pełny",
     u"The archive did not give the older records: reading in full"},
    {"noticeNotArchived", u"Odczyt nie został zapisany w archiwum: %1",
     u"The read was not saved in the archive: %1"},
    {"noticePartArchived", u"Odczyt niepełny: zapisano w archiwum %1",
     u"Incomplete read: %1 saved in the archive"},
    {"noticeNoAnswer", u"Archiwum nie odpowiada: odczyt pełny bez archiwum",
     u"The archive does not answer: a full read without it"},
    {"noticeBrowsing", u"Archiwum: %1, rekordów %2", u"Archive: %1, %2 records"},
    {"noticeBrowseFailed", u"Nie udało się pokazać rekordów z archiwum: %1",
     u"The archived records could not be shown: %1"},
    {"problemSettings", u"ustawienia archiwum są niepoprawne",
     u"the archive settings are not valid"},
    {"problemNoDriver", u"brak sterownika bazy danych (Qt SQL)",
     u"the database driver (Qt SQL) is missing"},
    {"problemCannotOpen", u"nie można otworzyć archiwum ani połączyć się z jego serwerem",
     u"the archive cannot be opened or its server reached"},
    {"problemLocked", u"archiwum jest zablokowane przez inny program",
     u"the archive is locked by another program"},
    {"problemDamaged", u"archiwum jest uszkodzone", u"the archive is damaged"},
    {"problemNewerVersion", u"archiwum zapisała nowsza wersja programu",
     u"the archive was written by a newer version of the program"},
    {"problemFailed", u"błąd bazy danych archiwum", u"a database error in the archive"},
    {"problemCancelled", u"zapis przerwano", u"the write was cancelled"},
    {"problemNotOpen", u"archiwum nie jest otwarte", u"the archive is not open"},
};

const char* problemKey(ArchiveProblem::Kind kind) {
    using Kind = ArchiveProblem::Kind;
    switch (kind) {
        case Kind::Settings:
            return "problemSettings";
        case Kind::NoDriver:
            return "problemNoDriver";
        case Kind::CannotOpen:
            return "problemCannotOpen";
        case Kind::Locked:
            return "problemLocked";
        case Kind::Damaged:
            return "problemDamaged";
        case Kind::NewerVersion:
            return "problemNewerVersion";
        case Kind::Failed:
            return "problemFailed";
        case Kind::Cancelled:
            return "problemCancelled";
        case Kind::NotOpen:
            return "problemNotOpen";
        case Kind::None:
            break;
    }
    return "";
}

}  // namespace

QString ArchiveTexts::text(Language language, QStringView key) {
    for (const Entry& entry : kTexts) {
        if (key == QLatin1String(entry.key)) {
            return QString::fromUtf16(language == Language::English ? entry.english : entry.polish);
        }
    }
    return {};
}

QString ArchiveTexts::text(Language language, const char* key) {
    return text(language, QString::fromLatin1(key));
}

QString ArchiveTexts::problem(Language language, ArchiveProblem::Kind kind) {
    return text(language, problemKey(kind));
}

QString ArchiveTexts::notice(Language language, const ArchiveNotice& notice,
                             const QLocale& locale) {
    using Kind = ArchiveNotice::Kind;
    auto t = [language](const char* key) { return text(language, key); };
    auto number = [&locale](qint64 value) { return locale.toString(value); };
    const QString why = problem(language, notice.problem.kind);
    switch (notice.kind) {
        case Kind::Opening:
            return t("noticeOpening");
        case Kind::Ready:
            return t("noticeReady").arg(notice.location);
        case Kind::Unavailable:
            return t("noticeUnavailable").arg(why);
        case Kind::Incremental:
            return t("noticeIncremental").arg(number(notice.fresh), number(notice.fromArchive));
        case Kind::FullArchived:
            return t("noticeFullArchived").arg(number(notice.fresh));
        case Kind::Fallback:
            return t("noticeFallback");
        case Kind::OlderMissing:
            return t("noticeOlderMissing");
        case Kind::NotArchived:
            return t("noticeNotArchived").arg(why);
        case Kind::PartArchived:
            return t("noticePartArchived").arg(number(notice.fresh));
        case Kind::NoAnswer:
            return t("noticeNoAnswer");
        case Kind::Browsing:
            return t("noticeBrowsing")
                .arg(t("scaleItem").arg(notice.scale).arg(notice.serialNumber),
                     number(notice.count));
        case Kind::BrowseFailed:
            return t("noticeBrowseFailed").arg(why);
    }
    return {};
}
