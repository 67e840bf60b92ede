#include <QTest>

#include "RecordLayout.h"
#include "RecordTableError.h"
#include "TestSupport.h"

namespace {

QStringList names(const RecordLayout& layout) {
    QStringList list;
    for (const FieldDefinition& field : layout.fields()) {
        list.append(field.name);
    }
    return list;
}

}  // namespace

class RecordLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void wellFormedLineGivesTheTenFields_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("Polish") << int(Language::Polish)
                                << QStringList{"RecID",          "Data_Czas",   "Numer",
                                               "ID_uzytkownika", "ID_produktu", "Netto",
                                               "Brutto",         "Tara",        "Jednostka",
                                               "Stabilnosc"};
        QTest::newRow("English") << int(Language::English)
                                 << QStringList{"RecID",     "Date_Time", "Number", "UserID",
                                                "ProductID", "Net",       "Gross",  "Tare",
                                                "Unit",      "Stability"};
    }

    void wellFormedLineGivesTheTenFields() {
        QFETCH(int, language);
        QFETCH(QStringList, expected);
        const RecordLayout layout = RecordLayout::fromColumnLine(
            standardColumnLine(), LanguageTexts(static_cast<Language>(language)));
        QCOMPARE(names(layout), expected);
        const std::vector<FieldType> types{
            FieldType::Integer64, FieldType::DateTime, FieldType::Text, FieldType::Text,
            FieldType::Text,      FieldType::Real,     FieldType::Real, FieldType::Real,
            FieldType::Text,      FieldType::Text};
        for (size_t i = 0; i < types.size(); ++i) {
            QCOMPARE(layout.fields()[i].type, types[i]);
        }
    }

    void unknownNamesAreSkipped() {
        // The scale's own line carries DATE and DEC, which the table does not show.
        const RecordLayout layout = RecordLayout::fromColumnLine(
            QStringLiteral("REC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB\r\n"),
            LanguageTexts(Language::English));
        QCOMPARE(layout.fieldCount(), 10);
        QCOMPARE(layout.fields()[1].name, QStringLiteral("Date_Time"));
        QCOMPARE(layout.fields()[9].name, QStringLiteral("Stability"));
    }

    void namesMatchExactly() {
        const RecordLayout layout = RecordLayout::fromColumnLine(
            QStringLiteral("rec_id; TIME;NUM ;NET;X"), LanguageTexts());
        QCOMPARE(names(layout), (QStringList{"Netto", "X"}));
    }

    void unknownLastPieceBecomesATextField() {
        const RecordLayout layout = RecordLayout::fromColumnLine(
            QStringLiteral("REC_ID;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;STB;XYZ\r\n"),
            LanguageTexts());
        QCOMPARE(layout.fieldCount(), 11);
        QCOMPARE(layout.fields()[10].name, QStringLiteral("XYZ"));
        QCOMPARE(layout.fields()[10].type, FieldType::Text);
    }

    void lastPieceWithStb_data() {
        QTest::addColumn<QString>("last");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("STB") << "STB\r\n" << QStringList{"Stabilnosc"};
        QTest::newRow("STB with blanks") << "STB  \t\r\n" << QStringList{"Stabilnosc"};
        QTest::newRow("XSTB") << "XSTB" << QStringList{"Stabilnosc", "X"};
        QTest::newRow("lower case stays") << "stb" << QStringList{"Stabilnosc", "stb"};
        QTest::newRow("empty after CR LF") << "\r\n" << QStringList{};
    }

    void lastPieceWithStb() {
        QFETCH(QString, last);
        QFETCH(QStringList, added);
        const RecordLayout layout =
            RecordLayout::fromColumnLine(QStringLiteral("REC_ID;") + last, LanguageTexts());
        QCOMPARE(names(layout), QStringList{"RecID"} + added);
    }

    void lineWithoutSeparatorIsOneLastPiece() {
        const RecordLayout layout =
            RecordLayout::fromColumnLine(QStringLiteral("REC_ID\r\n"), LanguageTexts());
        QCOMPARE(names(layout), QStringList{"REC_ID"});
    }

    void duplicateNameFails_data() {
        QTest::addColumn<QString>("line");
        QTest::newRow("NET twice") << "REC_ID;NET;NET;STB\r\n";
        QTest::newRow("STB and last STB") << "REC_ID;STB;STB\r\n";
        QTest::newRow("last piece names a field") << "REC_ID;NET;netto\r\n";
    }

    void duplicateNameFails() {
        QFETCH(QString, line);
        QVERIFY_THROWS_EXCEPTION(RecordTableError,
                                 RecordLayout::fromColumnLine(line, LanguageTexts()));
    }

    void indexOfIgnoresCase() {
        const RecordLayout layout = standardLayout();
        QCOMPARE(layout.indexOf(u"recid"), 0);
        QCOMPARE(layout.indexOf(u"BRUTTO"), 6);
        QCOMPARE(layout.indexOf(u"Gross"), -1);
    }
};

QTEST_GUILESS_MAIN(RecordLayoutTest)
#include "tst_RecordLayout.moc"
