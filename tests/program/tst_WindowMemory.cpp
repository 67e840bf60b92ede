// The window's place, size and column widths kept between runs: a window
// destroyed and made again with the same settings comes back as it was left,
// and stored values that no screen can show, or that are damaged, still give
// a reachable window.
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QTest>
#include <memory>

#include "ScaleSimProcess.h"
#include "SettingsStore.h"
#include "TMainForm.h"
#include "TestSupport.h"

namespace {

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

// A place well inside the screen, at a size the window can take.
QRect placeInside(const TMainForm& form) {
    const QSize size = form.minimumSizeHint().expandedTo(QSize(300, 200)) + QSize(12, 8);
    return QRect(screenArea().topLeft() + QPoint(17, 11), size.boundedTo(screenArea().size()));
}

QHeaderView* titles(const TMainForm& form) {
    return child<QTableView>(form, "DBGrid1")->horizontalHeader();
}

QList<int> columnWidths(const TMainForm& form) {
    QList<int> widths;
    for (int i = 0; i < titles(form)->count(); ++i) {
        widths.append(titles(form)->sectionSize(i));
    }
    return widths;
}

QString storedText(const char* name) {
    return QSettings(QStringLiteral("VESK"), QStringLiteral("Tarvo"))
        .value(QLatin1String(name))
        .toString();
}

}  // namespace

class WindowMemoryTest : public QObject {
    Q_OBJECT

private slots:
    void init() { settings_.clear(); }

    void cleanup() { sim_.reset(); }

    void placeAndSizeComeBack() {
        QRect place;
        {
            TMainForm form({libraryDir()});
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            place = placeInside(form);
            form.resize(place.size());
            form.move(place.topLeft());
            QTRY_COMPARE(form.size(), place.size());
            QTRY_COMPARE(form.pos(), place.topLeft());
        }
        TMainForm form({libraryDir()});
        QCOMPARE(form.size(), place.size());
        QCOMPARE(form.pos(), place.topLeft());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), place.size());
        QCOMPARE(form.pos(), place.topLeft());
        QVERIFY(!form.isMaximized());
    }

    void maximizedComesBackWithItsNormalPlace() {
        QRect place;
        {
            TMainForm form({libraryDir()});
            place = placeInside(form);
            form.resize(place.size());
            form.move(place.topLeft());
            form.show();
            QVERIFY(QTest::qWaitForWindowExposed(&form));
            form.showMaximized();
            QTRY_VERIFY(form.isMaximized());
        }
        QCOMPARE(storedText("Window_maximized"), QStringLiteral("1"));
        TMainForm form({libraryDir()});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.isMaximized());
        form.showNormal();
        QTRY_COMPARE(form.size(), place.size());
        QCOMPARE(form.pos(), place.topLeft());
    }

    // A monitor unplugged, or a desktop made smaller, since the last run.
    void aPlaceNoScreenShowsComesBackOnScreen_data() {
        QTest::addColumn<QString>("stored");
        const QRect area = screenArea();
        auto text = [](const QRect& r) {
            return QStringLiteral("%1,%2,%3,%4")
                .arg(r.x())
                .arg(r.y())
                .arg(r.width())
                .arg(r.height());
        };
        QTest::newRow("right and below")
            << text(QRect(area.right() + 3000, area.bottom() + 2000, 500, 400));
        QTest::newRow("left and above")
            << text(QRect(area.left() - 5000, area.top() - 4000, 500, 400));
        QTest::newRow("title bar above the top")
            << text(QRect(area.left() + 10, area.top() - 300, 500, 400));
        QTest::newRow("larger than the screen")
            << text(QRect(area.left(), area.top(), area.width() * 4, area.height() * 4));
    }

    void aPlaceNoScreenShowsComesBackOnScreen() {
        QFETCH(QString, stored);
        SettingsStore().setValues({{QStringLiteral("Window_geometry"), stored}});
        TMainForm form({libraryDir()});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const QRect area = screenArea();
        // The corner with the title bar is on the screen, and the window
        // is no larger than the screen where it can be made so.
        QVERIFY2(area.contains(form.pos()),
                 qPrintable(QStringLiteral("at %1,%2").arg(form.pos().x()).arg(form.pos().y())));
        const QSize fitting = area.size().expandedTo(form.minimumSize());
        QVERIFY(form.width() <= fitting.width());
        QVERIFY(form.height() <= fitting.height());
        if (form.minimumSizeHint().width() <= area.width()) {
            QVERIFY(area.contains(QRect(form.pos(), form.size())));
        }
    }

    // Damaged or foreign values are passed over: the window takes its
    // designed place and size.
    void damagedValuesGiveTheDesignedWindow_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("not numbers") << QByteArray("Window_geometry=abc\n");
        QTest::newRow("three numbers") << QByteArray("Window_geometry=\"1,2,3\"\n");
        QTest::newRow("five numbers") << QByteArray("Window_geometry=\"1,2,3,4,5\"\n");
        QTest::newRow("empty size") << QByteArray("Window_geometry=\"10,10,0,0\"\n");
        QTest::newRow("negative size") << QByteArray("Window_geometry=\"10,10,-500,400\"\n");
        QTest::newRow("beyond int") << QByteArray("Window_geometry=\"99999999999,1,500,400\"\n");
        QTest::newRow("huge") << QByteArray(
            "Window_geometry=\"2147483647,2147483647,2147483647,1\"\n");
        QTest::newRow("a list") << QByteArray("Window_geometry=10, 10, 500, 400\n");
        QTest::newRow("bytes") << QByteArray(
            "Window_geometry=@ByteArray(\\0\\x1\\xff)\n"
            "Grid_columns=@ByteArray(\\xff\\xfe)\n"
            "Window_maximized=@Variant(\\0\\0\\0\\x7f)\n");
        QTest::newRow("widths") << QByteArray("Grid_columns=\"x,-4,99999999999,,0\"\n");
    }

    void damagedValuesGiveTheDesignedWindow() {
        QFETCH(QByteArray, raw);
        settings_.writeRaw("[General]\n" + raw);
        TMainForm form({libraryDir()});
        QCOMPARE(form.size(), QSize(836, 588));
        QCOMPARE(form.pos(), QPoint(200, 208));
        QVERIFY(!form.isMaximized());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
    }

    // The widths the operator gave the columns come back with the next
    // read; the others fit their contents as before.
    void columnWidthsComeBackWithTheNextRead() {
        startScale();
        QList<int> fitted;
        {
            std::unique_ptr<TMainForm> form = windowAfterRead(port_);
            QVERIFY(form != nullptr);
            fitted = columnWidths(*form);
            QVERIFY(fitted.size() >= 3);
            // As a drag of the title's edge does.
            titles(*form)->resizeSection(1, fitted[1] + 57);
            titles(*form)->resizeSection(2, fitted[2] + 31);
            // A second read keeps them.
            QVERIFY(readScale(*form));
            QCOMPARE(columnWidths(*form)[1], fitted[1] + 57);
        }
        std::unique_ptr<TMainForm> form = windowAfterRead(port_);
        QVERIFY(form != nullptr);
        QList<int> expected = fitted;
        expected[1] += 57;
        expected[2] += 31;
        QCOMPARE(columnWidths(*form), expected);
    }

    void damagedWidthsLeaveTheColumnsFitted() {
        startScale();
        QList<int> fitted;
        {
            std::unique_ptr<TMainForm> form = windowAfterRead(port_);
            QVERIFY(form != nullptr);
            fitted = columnWidths(*form);
        }
        SettingsStore().setValues(
            {{QStringLiteral("Grid_columns"), QStringLiteral("abc,-4,99999999999,0,")}});
        std::unique_ptr<TMainForm> form = windowAfterRead(port_);
        QVERIFY(form != nullptr);
        QCOMPARE(columnWidths(*form), fitted);
    }

private:
    void startScale() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        sim_ = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(), std::vector<std::string>{"--pty", "--records", "5"});
        port_ = QString::fromStdString(sim_->PtyPath());
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    std::unique_ptr<ScaleSimProcess> sim_;
    QString port_;
};

QTEST_MAIN(WindowMemoryTest)
#include "tst_WindowMemory.moc"
