#include "LanguageTexts.h"

namespace {

constexpr int kTextCount = 47;

const char16_t* const kKeyText =
    u"NoDLLExec#error#success#parse#reading#connErr#noAns#readErr#forbiddenCharInfo#"
    u"forbiddenChar#failDevSet#failRegSave#Y#N#dateTime#Nr#userID#prodID#net#gross#tare#"
    u"unit#stb#filterHeader#dateTimeHeader#mass#from#to#database#prod#user#settings#read#"
    u"nrOfRecs#devInfo#type#nrSer#prodDate#exportToCSV#conn#connKinds#baudrate#bits#"
    u"parity#saveSet#ipAdrr#refresh";

const char16_t* const kPolish[kTextCount] = {
    u"Nie znaleziono QELScale.dll. Program zostanie zakończony.",
    u"Błąd!",
    u"Sukces!",
    u"Parsowanie",
    u"Odczyt",
    u"Nie udało się połączyć!",
    u"Pusta odpowiedź.",
    u"Błąd odczytu danych",
    u"W tym polu można wprowadzać tylko cyfry i znak dziesiętny.",
    u"Nieprawidowy znak",
    u"Błąd ustawień urządzenia.",
    u"Błąd zapisu ustawień do rejestru",
    u"Tak",
    u"Nie",
    u"Data_Czas",
    u"Numer",
    u"ID_uzytkownika",
    u"ID_produktu",
    u"Netto",
    u"Brutto",
    u"Tara",
    u"Jednostka",
    u"Stabilnosc",
    u"Filtrowanie rekordów:",
    u"Data i czas:",
    u"Masa:",
    u"od",
    u"do",
    u"Bazy danych:",
    u"Produkt:",
    u"Użytkownik:",
    u"Ustawienia",
    u"Odczytaj",
    u"Liczba znalezionych rekordów:",
    u"Informacje o urządzeniu:",
    u"Typ:",
    u"Nr seryjny:",
    u"Data produkcji:",
    u"Export do CSV",
    u"Połączenie",
    u"Rodzaj:",
    u"Prędkość",
    u"Ilość bitów",
    u"Parzystość",
    u"Zapisz Ustawienia",
    u"Adres IP",
    u"Wykryj porty COM i USB",
};

const char16_t* const kEnglish[kTextCount] = {
    u"QELScale.dll not found. Program will be terminated.",
    u"Error!",
    u"Success!",
    u"Parsing",
    u"Reading",
    u"Couldn't connect!",
    u"No answer",
    u"Error reading data",
    u"This field accepts only digits and decimal character",
    u"Wrong character",
    u"failed to set device",
    u"Failed to save settings in registry",
    u"Yes",
    u"No",
    u"Date_Time",
    u"Number",
    u"UserID",
    u"ProductID",
    u"Net",
    u"Gross",
    u"Tare",
    u"Unit",
    u"Stability",
    u"Filtering records:",
    u"Date and time:",
    u"Mass:",
    u"from",
    u"to",
    u"Databases:",
    u"Product:",
    u"User:",
    u"Settings",
    u"Read",
    u"Number of records found:",
    u"Device informations:",
    u"Type:",
    u"    Serial Nr:",
    u"Production date:",
    u"Export to CSV",
    u"Connection",
    u"Kinds",
    u"Baudrate",
    u"Number of bits",
    u"Parity",
    u"Save Settings",
    u"IP Address",
    u"Check ports",
};

// Texts added after the 47 above, in blocks by the feature that needs them.
// They are looked up like the others but are not part of the fixed key list.
struct AddedText {
    const char16_t* key;
    const char16_t* polish;
    const char16_t* english;
};

const AddedText kAddedTexts[] = {
    // Why a connection failed, shown under "connErr". %1 is the port,
    // converter or address; %2 the process holding a busy line.
    {u"connWhyNotFound", u"Urządzenie %1 nie istnieje.", u"%1 does not exist."},
    {u"connHintNotFound",
     u"Sprawdź, czy urządzenie jest podłączone, i wybierz port z listy po \"Wykryj porty COM i "
     u"USB\".",
     u"Check that the device is plugged in, and choose the port from the list after \"Check "
     u"ports\"."},
    {u"connWhyPermission", u"Brak uprawnień do otwarcia %1.", u"No permission to open %1."},
    {u"connHintPermission",
     u"Na Linuksie porty szeregowe są dostępne dla grupy dialout. Dodaj do niej swoje konto "
     u"poleceniem:\nsudo usermod -aG dialout $USER\na następnie wyloguj się i zaloguj ponownie.",
     u"On Linux the serial ports belong to the dialout group. Add your account to it with:\n"
     u"sudo usermod -aG dialout $USER\nthen log out and log in again."},
    {u"connWhyBusy", u"%1 jest zajęty przez inny program.", u"%1 is in use by another program."},
    {u"connWhyBusyPid", u"%1 jest zajęty przez inny program (proces %2).",
     u"%1 is in use by another program (process %2)."},
    {u"connHintBusy", u"Zamknij tamten program i spróbuj ponownie.",
     u"Close that program and try again."},
    {u"connWhyUnreachable", u"%1 jest nieosiągalny.", u"%1 cannot be reached."},
    {u"connHintUnreachable", u"Sprawdź kabel sieciowy i adres IP wagi.",
     u"Check the network cable and the scale's IP address."},
    {u"connWhyRefused", u"%1 odmówił połączenia: nic nie nasłuchuje na tym porcie.",
     u"%1 refused the connection: nothing listens on that port."},
    {u"connHintRefused", u"Sprawdź adres IP i port modułu Ethernet wagi.",
     u"Check the IP address and port of the scale's Ethernet module."},
    {u"connWhyTimeout", u"%1 nie odpowiedział w wyznaczonym czasie.",
     u"%1 did not answer in time."},
    {u"connWhyNoLibrary", u"Brak biblioteki FTDI D2XX (%1).",
     u"The FTDI D2XX library (%1) is not installed."},
    {u"connHintNoLibrary",
     u"Połączenie USB wymaga biblioteki D2XX firmy FTDI: zainstaluj ją. Bez niej konwerter jest "
     u"dostępny jako port COM (/dev/ttyUSB0 i kolejne) przez sterownik ftdi_sio.",
     u"A USB connection needs FTDI's D2XX library: install it. Without it the converter is "
     u"reachable as a COM port (/dev/ttyUSB0 and on) through the ftdi_sio driver."},
    {u"connWhyInvalid", u"Nieprawidłowe ustawienia połączenia: %1.",
     u"The connection settings cannot work: %1."},
    {u"connWhyClosed", u"Połączenie z %1 zostało zamknięte.", u"The connection to %1 was closed."},
    {u"connWhyIo", u"Błąd wejścia/wyjścia urządzenia %1.", u"Input/output error on %1."},
    {u"connWhyOther", u"Nie udało się otworzyć %1.", u"%1 could not be opened."},

    // Names that assistive technology reads for the filter's date and time
    // pickers, which have no caption of their own.
    {u"accDate", u"Data", u"Date"},
    {u"accTime", u"Czas", u"Time"},
    // The end of a read: what it brought, a silent scale, no connection
    // chosen, the operator's stop and the time left.
    {u"readIncomplete", u"Niekompletny!", u"Incomplete!"},
    {u"readCounts", u"Zapowiedziano rekordów: %1, odebrano: %2, nieczytelnych: %3.",
     u"Records announced: %1, received: %2, unreadable: %3."},
    {u"unreadableIds", u"Nie udało się odczytać rekordów nr: %1.",
     u"Records that could not be read, by number: %1."},
    {u"recordsKept", u"Każdy rekord, który dało się odczytać, jest w tabeli.",
     u"Every record that could be read is in the table."},
    {u"noAnswerHint",
     u"Waga nie odpowiada. Sprawdź kabel, port i prędkość.\nUstawienia połączenia: %1",
     u"The scale did not answer. Check the cable, the port and the speed.\nConnection settings: "
     u"%1"},
    {u"chooseConnection", u"Wybierz rodzaj połączenia: COM, USB lub Ethernet.",
     u"Choose a connection kind: COM, USB or Ethernet."},
    {u"stop", u"Przerwij", u"Stop"},
    {u"stopped", u"Przerwano", u"Stopped"},
    {u"minutesLeft", u"%1 min", u"%1 min"},
    {u"secondsLeft", u"%1 s", u"%1 s"},

    // The record archive's controls and messages, found through ArchiveTexts
    // under the prefix "archive.".
    {u"archive.fullRead", u"Pełny odczyt", u"Full read"},
    {u"archive.fullReadHint", u"Odczytaj wszystkie rekordy wagi, także te, które są już w archiwum",
     u"Read every record of the scale, also those already in the archive"},
    {u"archive.archive", u"Archiwum", u"Archive"},
    {u"archive.browseArchive", u"Przeglądaj archiwum", u"Browse the archive"},
    {u"archive.archiveSettings", u"Ustawienia archiwum", u"Archive settings"},
    {u"archive.showRecords", u"Pokaż w tabeli", u"Show in the grid"},
    {u"archive.refreshList", u"Odśwież", u"Refresh"},
    {u"archive.close", u"Zamknij", u"Close"},
    {u"archive.save", u"Zapisz", u"Save"},
    {u"archive.cancel", u"Anuluj", u"Cancel"},
    {u"archive.archiveKind", u"Rodzaj archiwum", u"Archive kind"},
    {u"archive.sqliteFile", u"Plik archiwum (SQLite)", u"Archive file (SQLite)"},
    {u"archive.sqliteFileHint", u"Puste: plik w folderze danych użytkownika",
     u"Empty: a file in the user's data folder"},
    {u"archive.chooseFile", u"Wybierz...", u"Choose..."},
    {u"archive.server", u"Serwer PostgreSQL", u"PostgreSQL server"},
    {u"archive.host", u"Adres serwera", u"Server address"},
    {u"archive.port", u"Port", u"Port"},
    {u"archive.database", u"Baza danych", u"Database"},
    {u"archive.user", u"Użytkownik", u"User"},
    {u"archive.password", u"Hasło", u"Password"},
    {u"archive.passwordHint", u"Puste: hasło z pliku ~/.pgpass lub zmiennej PGPASSWORD",
     u"Empty: the password from ~/.pgpass or PGPASSWORD"},
    {u"archive.options", u"Dodatkowe opcje połączenia", u"More connection options"},
    {u"archive.settingsNotSaved", u"Nie udało się zapisać ustawień archiwum.",
     u"The archive settings could not be saved."},
    {u"archive.portInvalid", u"Port musi być liczbą od 1 do 65535.",
     u"The port must be a number from 1 to 65535."},
    {u"archive.serverIncomplete", u"Podaj adres serwera i nazwę bazy danych.",
     u"Enter the server address and the database name."},
    {u"archive.scaleColumn", u"Waga", u"Scale"},
    {u"archive.recordsColumn", u"Rekordów", u"Records"},
    {u"archive.numbersColumn", u"Najwyższy numer", u"Highest number"},
    {u"archive.lastReadColumn", u"Ostatni odczyt", u"Last read"},
    {u"archive.scaleItem", u"%1, nr seryjny %2", u"%1, serial no. %2"},
    {u"archive.memoryItem", u"Pamięć %1", u"Memory %1"},
    {u"archive.noScales", u"Archiwum nie zawiera jeszcze żadnej wagi.",
     u"The archive holds no scale yet."},
    {u"archive.listFailed", u"Nie udało się odczytać archiwum: %1",
     u"The archive could not be read: %1"},
    {u"archive.noticeOpening", u"Archiwum: otwieranie...", u"Archive: opening..."},
    {u"archive.noticeReady", u"Archiwum: %1", u"Archive: %1"},
    {u"archive.noticeUnavailable", u"Archiwum niedostępne: %1", u"Archive unavailable: %1"},
    {u"archive.noticeIncremental", u"Odczyt przyrostowy: nowe %1, z archiwum %2",
     u"Incremental read: %1 new, %2 from the archive"},
    {u"archive.noticeFullArchived", u"Odczyt pełny: nowe w archiwum %1",
     u"Full read: %1 new in the archive"},
    {u"archive.noticeFallback", u"Rekordy wagi nie zgadzają się z archiwum: odczyt pełny",
     u"The scale's records do not match the archive: reading in full"},
    {u"archive.noticeOlderMissing", u"Archiwum nie wydało starszych rekordów: odczyt pełny",
     u"The archive did not give the older records: reading in full"},
    {u"archive.noticeNotArchived", u"Odczyt nie został zapisany w archiwum: %1",
     u"The read was not saved in the archive: %1"},
    {u"archive.noticePartArchived", u"Odczyt niepełny: zapisano w archiwum %1",
     u"Incomplete read: %1 saved in the archive"},
    {u"archive.noticeNoAnswer", u"Archiwum nie odpowiada: odczyt pełny bez archiwum",
     u"The archive does not answer: a full read without it"},
    {u"archive.noticeBrowsing", u"Archiwum: %1, rekordów %2", u"Archive: %1, %2 records"},
    {u"archive.noticeBrowseFailed", u"Nie udało się pokazać rekordów z archiwum: %1",
     u"The archived records could not be shown: %1"},
    {u"archive.problemSettings", u"ustawienia archiwum są niepoprawne",
     u"the archive settings are not valid"},
    {u"archive.problemNoDriver", u"brak sterownika bazy danych (Qt SQL)",
     u"the database driver (Qt SQL) is missing"},
    {u"archive.problemCannotOpen", u"nie można otworzyć archiwum ani połączyć się z jego serwerem",
     u"the archive cannot be opened or its server reached"},
    {u"archive.problemLocked", u"archiwum jest zablokowane przez inny program",
     u"the archive is locked by another program"},
    {u"archive.problemDamaged", u"archiwum jest uszkodzone", u"the archive is damaged"},
    {u"archive.problemNewerVersion", u"archiwum zapisała nowsza wersja programu",
     u"the archive was written by a newer version of the program"},
    {u"archive.problemFailed", u"błąd bazy danych archiwum", u"a database error in the archive"},
    {u"archive.problemCancelled", u"zapis przerwano", u"the write was cancelled"},
    {u"archive.problemNotOpen", u"archiwum nie jest otwarte", u"the archive is not open"},
};

const AddedText* findAddedText(QStringView key) {
    for (const AddedText& added : kAddedTexts) {
        if (key.compare(QStringView(added.key), Qt::CaseInsensitive) == 0) {
            return &added;
        }
    }
    return nullptr;
}

}  // namespace

const QStringList& LanguageTexts::keys() {
    static const QStringList list = QString::fromUtf16(kKeyText).split(u'#');
    return list;
}

int LanguageTexts::indexOfKey(QStringView key) {
    const QStringList& list = keys();
    for (int i = 0; i < list.size(); ++i) {
        if (key.compare(list[i], Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QString LanguageTexts::text(Language language, QStringView key) {
    const int index = indexOfKey(key);
    if (index < 0 || index >= kTextCount) {
        const AddedText* added = findAddedText(key);
        if (added == nullptr) {
            return {};
        }
        return QString::fromUtf16(language == Language::English ? added->english : added->polish);
    }
    return QString::fromUtf16(language == Language::English ? kEnglish[index] : kPolish[index]);
}

QString LanguageTexts::text(QStringView key) const {
    return text(language_, key);
}

QStringList LanguageTexts::addedKeys() {
    QStringList list;
    for (const AddedText& added : kAddedTexts) {
        list.append(QString::fromUtf16(added.key));
    }
    return list;
}

Language LanguageTexts::fromStoredName(const QString& stored) {
    return stored == QLatin1String("ENG") ? Language::English : Language::Polish;
}

QString LanguageTexts::storedName(Language language) {
    return language == Language::English ? QStringLiteral("ENG") : QStringLiteral("PL");
}
