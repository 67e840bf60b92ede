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
