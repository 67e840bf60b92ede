// The window for keyboard and assistive-technology users: every list and
// edit named by its label, the connection groups following the checked kind
// however it was checked, and a tab order that follows the layout.
#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include "SettingsStore.h"
#include "TMainForm.h"
#include "TestSupport.h"

namespace {

QString accessibleName(const QWidget* widget) {
    QAccessibleInterface* face =
        QAccessible::queryAccessibleInterface(const_cast<QWidget*>(widget));
    return face != nullptr ? face->text(QAccessible::Name) : QStringLiteral("<no interface>");
}

// The control a focus stop belongs to: the spin box or list around Qt's
// inner line edit.
QString stopName(QWidget* widget) {
    while (widget != nullptr && (widget->objectName().isEmpty() ||
                                 widget->objectName().startsWith(QLatin1String("qt_")))) {
        widget = widget->parentWidget();
    }
    return widget != nullptr ? widget->objectName() : QString();
}

// The controls Tab visits from the first one, one entry per control (a date
// picker takes a Tab per section), until the focus comes back.
QStringList tabStops(TMainForm& form, QWidget* first) {
    first->setFocus(Qt::TabFocusReason);
    QStringList stops{stopName(first)};
    for (int presses = 0; presses < 200; ++presses) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        const QString name = stopName(QApplication::focusWidget());
        if (name == stops.first() && stops.size() > 1) {
            break;
        }
        if (name != stops.last()) {
            stops.append(name);
        }
    }
    Q_UNUSED(form);
    return stops;
}

}  // namespace

class TMainFormAccessTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        settings_.clear();
        answerer_.clear();
    }

    void controlsAreNamedByTheirLabels_data() {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const QList<std::tuple<const char*, const char*, const char*>> names = {
            {"availCom", "Port", "Port"},
            {"availUSB", "Port", "Port"},
            {"baudRate", "Prędkość", "Baudrate"},
            {"bits", "Ilość bitów", "Number of bits"},
            {"parity", "Parzystość", "Parity"},
            {"ip", "Adres IP", "IP Address"},
            {"port", "Port", "Port"},
            {"leProdukt", "Produkt", "Product"},
            {"leUzytkownik", "Użytkownik", "User"},
            {"leMasaOd", "Masa od", "Mass from"},
            {"leMasaDo", "Masa do", "Mass to"},
            {"leIDod", "RecID od", "RecID from"},
            {"leIDdo", "RecID do", "RecID to"},
            {"chbDataOd", "Data i czas od", "Date and time from"},
            {"chbDataDo", "Data i czas do", "Date and time to"},
            {"dtpDataOd", "Data od", "Date from"},
            {"dtpCzasOd", "Czas od", "Time from"},
            {"dtpDataDo", "Data do", "Date to"},
            {"dtpCzasDo", "Czas do", "Time to"},
            {"PL", "Polski", "Polski"},
            {"ENG", "English", "English"},
        };
        for (const auto& [control, polish, english] : names) {
            QTest::addRow("%s PL", control) << false << control << QString::fromUtf8(polish);
            QTest::addRow("%s ENG", control) << true << control << QString::fromUtf8(english);
        }
    }

    void controlsAreNamedByTheirLabels() {
        QFETCH(bool, english);
        QFETCH(QString, control);
        QFETCH(QString, name);
        if (english) {
            SettingsStore().saveLanguage(QStringLiteral("ENG"));
        }
        TMainForm form({libraryDir()});
        form.show();
        auto* widget = form.findChild<QWidget*>(control);
        QVERIFY(widget != nullptr);
        QCOMPARE(accessibleName(widget), name);
    }

    // The lists are named by their label, not by the item they show, and
    // still give that item as their value.
    void listsKeepTheirItemAsValue() {
        presetSerialConnection(QStringLiteral("COM1"), QStringLiteral("9600"));
        TMainForm form({libraryDir()});
        form.show();
        QAccessibleInterface* baud =
            QAccessible::queryAccessibleInterface(child<QComboBox>(form, "baudRate"));
        QCOMPARE(baud->role(), QAccessible::ComboBox);
        QCOMPARE(baud->text(QAccessible::Name), QStringLiteral("Prędkość"));
        QCOMPARE(baud->text(QAccessible::Value), QStringLiteral("9600"));
        QVERIFY(baud->childCount() >= 1);
        QVERIFY(baud->actionInterface() != nullptr);
        QVERIFY(baud->actionInterface()->actionNames().contains(
            QAccessibleActionInterface::showMenuAction()));
        // The typing part of the editable port list is named like the list.
        QAccessibleInterface* ports =
            QAccessible::queryAccessibleInterface(child<QComboBox>(form, "availCom"));
        QCOMPARE(ports->childCount(), 2);
        QCOMPARE(ports->child(1)->text(QAccessible::Name), QStringLiteral("Port"));
    }

    void switchingTheLanguageRenamesTheControls() {
        TMainForm form({libraryDir()});
        form.show();
        QCOMPARE(accessibleName(child<QWidget>(form, "bits")), QStringLiteral("Ilość bitów"));
        child<QToolButton>(form, "ENG")->click();
        QCOMPARE(accessibleName(child<QWidget>(form, "bits")), QStringLiteral("Number of bits"));
        QCOMPARE(accessibleName(child<QWidget>(form, "leMasaOd")), QStringLiteral("Mass from"));
        child<QToolButton>(form, "PL")->click();
        QCOMPARE(accessibleName(child<QWidget>(form, "ip")), QStringLiteral("Adres IP"));
    }

    void groupsFollowSetChecked() {
        TMainForm form({libraryDir()});
        auto* comGroup = child<QGroupBox>(form, "COM_group");
        auto* ethGroup = child<QGroupBox>(form, "Ethernet_group");
        auto* ports = child<QComboBox>(form, "availCom");
        auto* devices = child<QComboBox>(form, "availUSB");
        child<QRadioButton>(form, "COM")->setChecked(true);
        QVERIFY(!comGroup->isHidden());
        QCOMPARE(comGroup->title(), QStringLiteral("COM"));
        QVERIFY(!ports->isHidden());
        QVERIFY(devices->isHidden());
        QVERIFY(ethGroup->isHidden());
        child<QRadioButton>(form, "USB")->setChecked(true);
        QCOMPARE(comGroup->title(), QStringLiteral("USB"));
        QVERIFY(ports->isHidden());
        QVERIFY(!devices->isHidden());
        child<QRadioButton>(form, "Eth")->setChecked(true);
        QVERIFY(comGroup->isHidden());
        QVERIFY(!ethGroup->isHidden());
    }

    // A kind chosen with the arrow keys, and one chosen through the
    // button's accessible action, shows its group too.
    void groupsFollowTheKeyboardAndAssistiveTechnology() {
        TMainForm form({libraryDir()});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        child<QPushButton>(form, "btnUstawienia")->click();
        auto* com = child<QRadioButton>(form, "COM");
        com->setChecked(true);
        com->setFocus();
        QTest::keyClick(com, Qt::Key_Right);
        QVERIFY(child<QRadioButton>(form, "USB")->isChecked());
        QCOMPARE(child<QGroupBox>(form, "COM_group")->title(), QStringLiteral("USB"));
        QAccessibleInterface* eth =
            QAccessible::queryAccessibleInterface(child<QRadioButton>(form, "Eth"));
        QVERIFY(eth->actionInterface() != nullptr);
        const QStringList actions = eth->actionInterface()->actionNames();
        const QString action = actions.contains(QAccessibleActionInterface::toggleAction())
                                   ? QAccessibleActionInterface::toggleAction()
                                   : QAccessibleActionInterface::pressAction();
        eth->actionInterface()->doAction(action);
        QTRY_VERIFY(child<QRadioButton>(form, "Eth")->isChecked());
        QVERIFY(child<QGroupBox>(form, "COM_group")->isHidden());
        QVERIFY(!child<QGroupBox>(form, "Ethernet_group")->isHidden());
    }

    // Top to bottom, then left to right: the filter, the buttons below it,
    // the settings panel, the grid. Tab enters a group of radio buttons at
    // the checked one, also after a language switch (which renames the mass
    // items and checks the first) or a kind checked by the program.
    void tabOrderFollowsTheLayout_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("checkedLater");
        QTest::addColumn<bool>("switchLanguage");
        QTest::addColumn<QStringList>("settings");
        const QStringList line = {"baudRate", "bits", "parity"};
        QTest::newRow("COM") << "COM"
                             << "" << false << (QStringList{"COM", "availCom"} + line);
        QTest::newRow("COM after a language switch")
            << "COM"
            << "" << true << (QStringList{"COM", "availCom"} + line);
        QTest::newRow("USB") << "USB"
                             << "" << false << (QStringList{"USB", "availUSB"} + line);
        QTest::newRow("Ethernet") << "Ethernet"
                                  << "" << false << QStringList{"Eth", "ip", "port"};
        QTest::newRow("USB checked after a click on COM")
            << "COM"
            << "USB" << false << (QStringList{"USB", "availUSB"} + line);
    }

    void tabOrderFollowsTheLayout() {
        QFETCH(QString, kind);
        QFETCH(QString, checkedLater);
        QFETCH(bool, switchLanguage);
        QFETCH(QStringList, settings);
        SettingsStore().setValues({{QStringLiteral("Last Used"), kind}});
        TMainForm form({libraryDir()});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        child<QPushButton>(form, "btnUstawienia")->click();
        if (!checkedLater.isEmpty()) {
            QTest::mouseClick(child<QRadioButton>(form, "COM"), Qt::LeftButton);
            child<QRadioButton>(form, checkedLater == QLatin1String("USB") ? "USB" : "Eth")
                ->setChecked(true);
        }
        if (switchLanguage) {
            // The second mass item had the focus; the switch checks the first.
            QTest::mouseClick(child<QWidget>(form, "rgMasaItem1"), Qt::LeftButton);
            child<QToolButton>(form, "ENG")->click();
        }
        const QStringList expected =
            QStringList{
                "chbDataOd",      "dtpDataOd",   "dtpCzasOd",    "chbDataDo",     "dtpDataDo",
                "dtpCzasDo",      "rgMasaItem0", "leMasaOd",     "leMasaDo",      "leIDod",
                "leIDdo",         "leProdukt",   "leUzytkownik", "btnUstawienia", "btnOdczytaj",
                "chbPelnyOdczyt", "PL",          "ENG"} +
            settings +
            QStringList{"Zastosuj", "btnRefresh", "btnPrzegladajArchiwum", "btnUstawieniaArchiwum",
                        "DBGrid1"};
        QCOMPARE(tabStops(form, child<QWidget>(form, "chbDataOd")), expected);
    }

private:
    TemporarySettings settings_;
    ModalAnswerer answerer_;
};

QTEST_MAIN(TMainFormAccessTest)
#include "tst_TMainFormAccess.moc"
