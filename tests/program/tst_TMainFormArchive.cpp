#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QToolButton>
#include <QTreeWidget>
#include <csignal>
#include <memory>
#include <tuple>

#include "ArchiveSettings.h"
#include "ArchiveTestSupport.h"
#include "ArchivedReads.h"
#include "RecordArchive.h"
#include "ScaleSimProcess.h"
#include "TArchiveDialog.h"
#include "TMainForm.h"
#include "TestSupport.h"

// The real window reading scale-sim with the record archive, on SQLite and on
// the PostgreSQL server of the test fixture: repeat reads fetch only what is
// new, reads that do not fit the archive are read again in full, and the
// archive can be browsed with no scale attached.
namespace {

// Record lines of a memory numbered from `from` down to `downTo`, as a
// records file holds them (variant: other texts under the same numbers).
QByteArray memoryFile(qint64 from, qint64 downTo, int variant) {
    QByteArray lines;
    for (qint64 number = from; number >= downTo; --number) {
        lines += recordLine(number, variant).chopped(2) + '\n';
    }
    return lines;
}

QList<QByteArray> linesOf(const QByteArray& file) {
    QList<QByteArray> lines;
    for (const QByteArray& line : file.split('\n')) {
        if (!line.isEmpty()) {
            lines.append(line + "\r\n");
        }
    }
    return lines;
}

QList<QByteArray> linesOf(const RecordSet& records) {
    QList<QByteArray> lines;
    for (size_t i = 0; i < records.size(); ++i) {
        lines.append(records.line(i).toByteArray());
    }
    return lines;
}

}  // namespace

class TMainFormArchiveTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase_data() { ArchiveTestBackend::addRows(); }

    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
    }

    void init() {
        settings_.clear();
        answerer_.clear();
        answerer_.setFileDialogAnswer(QString());
    }

    void cleanup() {
        form_.reset();
        sim_.reset();
    }

    void repeatReadFetchesOnlyTheNewRecordsAndShowsTheWholeMemory() {
        ARCHIVE_BACKEND(backend);
        config_ = backend.freshArchive();
        startScale({"--records", "200", "--seed", "3", "--grow", "30"});
        openWindow();
        QVERIFY(readAndArchive());
        QCOMPARE(form_->archivedReads().notice().kind, ArchiveNotice::Kind::FullArchived);
        QCOMPARE(form_->archivedReads().notice().fresh, qint64(200));

        // The program starts again; the scale has weighed 30 times since.
        form_.reset();
        QVERIFY(sim_->SignalAndWait(SIGUSR1, "records 230"));
        openWindow();
        qint64 mark = traceSize();
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        // The 30 new records and the one checked against the archive.
        QCOMPARE(requestsSince(mark), 31);
        const ArchiveNotice notice = form_->archivedReads().notice();
        QCOMPARE(notice.kind, ArchiveNotice::Kind::Incremental);
        QCOMPARE(notice.fresh, qint64(30));
        QCOMPARE(notice.fromArchive, qint64(200));
        QCOMPARE(child<QLabel>(*form_, "lbArchiwum")->text(),
                 QStringLiteral("Odczyt przyrostowy: nowe 30, z archiwum 200"));
        const QList<QStringList> incremental = gridRows(*form_);
        const QByteArray incrementalCsv = exportCsv("incremental.csv");
        QCOMPARE(incremental.size(), 230);
        QCOMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("230"));

        // The full read, one check box away, brings the same grid and file.
        child<QCheckBox>(*form_, "chbPelnyOdczyt")->setChecked(true);
        mark = traceSize();
        QVERIFY(readAndArchive());
        QCOMPARE(requestsSince(mark), 231);
        QCOMPARE(gridRows(*form_), incremental);
        QCOMPARE(exportCsv("full.csv"), incrementalCsv);

        // One memory of 230 records; the check record and the full read's
        // copies were stored once.
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config_));
        const auto scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.size(), size_t(1));
        QCOMPARE(scales.value[0].type, QStringLiteral("SIM 6/C1"));
        QCOMPARE(scales.value[0].serialNumber, 560123);
        QCOMPARE(scales.value[0].memories.size(), size_t(1));
        QCOMPARE(scales.value[0].memories[0].recordCount, qint64(230));
        QCOMPARE(scales.value[0].memories[0].unbrokenTop, qint64(230));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
        // Each read with its kind, line, count and what it fetched.
        const QString connection =
            QStringLiteral("COM %1 9600 8 N").arg(QString::fromStdString(sim_->PtyPath()));
        for (const auto& [kind, fetched, count] :
             {std::tuple{"full", 200, 200}, {"incremental", 31, 230}, {"full", 230, 230}}) {
            const QString reads = QStringLiteral(
                                      "SELECT count(*) FROM alibi_read WHERE kind = '%1' AND "
                                      "fetched_count = %2 AND announced_count = %3 AND "
                                      "complete = 1 AND connection = '%4'")
                                      .arg(QLatin1String(kind))
                                      .arg(fetched)
                                      .arg(count)
                                      .arg(connection);
            QCOMPARE(backend.ownValue(reads).toLongLong(), qint64(1));
        }
        backend.closeOwn();
    }

    void readsAfterAnEndedTransferWork() {
        ARCHIVE_BACKEND(backend);
        config_ = backend.freshArchive();
        startScale({"--records", "40", "--seed", "5"});
        openWindow();
        QVERIFY(readAndArchive());
        // Each incremental read leaves the scale in the middle of its
        // transfer; the next read still gets its records.
        for (int round = 0; round < 2; ++round) {
            const qint64 mark = traceSize();
            QVERIFY(readAndArchive());
            QCOMPARE(form_->stateText(), form_->texts().text(u"success"));
            QCOMPARE(requestsSince(mark), 1);
            QCOMPARE(form_->archivedReads().notice().kind, ArchiveNotice::Kind::Incremental);
            QCOMPARE(gridRows(*form_).size(), 40);
            if (round == 0) {
                child<QToolButton>(*form_, "ENG")->click();
            }
        }
        QCOMPARE(form_->stateText(), QStringLiteral("Success!"));
        QCOMPARE(child<QLabel>(*form_, "lbArchiwum")->text(),
                 QStringLiteral("Incremental read: 0 new, 40 from the archive"));
        QCOMPARE(child<QCheckBox>(*form_, "chbPelnyOdczyt")->text(), QStringLiteral("Full read"));
        QCOMPARE(gridTitles(*form_).value(1), QStringLiteral("Date_Time"));
        QVERIFY(sim_->SignalAndWait(SIGUSR1, "records 41"));
        QVERIFY(readAndArchive());
        QCOMPARE(gridRows(*form_).size(), 41);
        QCOMPARE(gridRows(*form_).last().first(), QStringLiteral("41"));
    }

    void readsThatDoNotFitTheArchiveReadFullyAndKeepBothMemories_data() {
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<int>("requests");
        QTest::addColumn<int>("writes");
        // A cleared memory announces fewer records: read in full at once.
        QTest::newRow("memory cleared") << memoryFile(2, 1, 1) << 3 << 1;
        // Another scale under the same serial number: the record checked
        // against the archive differs. Three requests, then a full read.
        QTest::newRow("other scale, same serial") << memoryFile(6, 1, 2) << 3 + 7 << 2;
        // The scale renumbered its records: the old lines one number up, a
        // new record 1. Records 5 and 4, then a full read.
        QByteArray renumbered;
        for (qint64 number = 4; number >= 1; --number) {
            const QByteArray line = recordLine(number, 0).chopped(2);
            renumbered += QByteArray::number(number + 1) + line.mid(line.indexOf(';')) + '\n';
        }
        renumbered += recordLine(1, 3).chopped(2) + '\n';
        QTest::newRow("renumbered") << renumbered << 2 + 6 << 2;
    }

    void readsThatDoNotFitTheArchiveReadFullyAndKeepBothMemories() {
        ARCHIVE_BACKEND(backend);
        QFETCH(QByteArray, changed);
        QFETCH(int, requests);
        QFETCH(int, writes);
        config_ = backend.freshArchive();
        const QByteArray first = memoryFile(4, 1, 0);
        writeRecordsFile(first);
        startScale({"--records-file", recordsFile().toStdString()});
        openWindow();
        QVERIFY(readAndArchive());

        writeRecordsFile(changed);
        QVERIFY(sim_->SignalAndWait(SIGHUP, "records " + std::to_string(linesOf(changed).size())));
        const qint64 mark = traceSize();
        QVERIFY(readAndArchive(writes));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(requestsSince(mark), requests);
        const QList<QStringList> shown = gridRows(*form_);
        QCOMPARE(shown.size(), int(linesOf(changed).size()));

        // What a full read shows of the changed memory.
        child<QCheckBox>(*form_, "chbPelnyOdczyt")->setChecked(true);
        QVERIFY(readAndArchive());
        QCOMPARE(gridRows(*form_), shown);

        // Two memories, each exactly its own lines.
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config_));
        const auto scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.size(), size_t(1));
        const std::vector<ArchivedMemory>& memories = scales.value[0].memories;
        QCOMPARE(memories.size(), size_t(2));
        const auto newer = archive.loadMemory(memories[0].memoryId);
        const auto older = archive.loadMemory(memories[1].memoryId);
        QVERIFY_ARCHIVE_OK(newer.problem);
        QVERIFY_ARCHIVE_OK(older.problem);
        QCOMPARE(linesOf(newer.value.records), linesOf(changed));
        QCOMPARE(linesOf(older.value.records), linesOf(first));
        QVERIFY_ARCHIVE_OK(archive.integrityCheck());
    }

    void aReadBrokenOffIsArchivedAndTheNextReadIsFull() {
        ARCHIVE_BACKEND(backend);
        config_ = backend.freshArchive();
        // The scale falls silent at its sixth record.
        startScale({"--records", "30", "--seed", "2", "--silent-at", "record:6"});
        openWindow();
        form_->readSession().setSilenceLimit(std::chrono::milliseconds(1500));
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(), QStringLiteral("Błąd!"));
        QCOMPARE(form_->archivedReads().notice().kind, ArchiveNotice::Kind::PartArchived);
        QCOMPARE(form_->archivedReads().notice().fresh, qint64(5));
        // The same scale again, answering now. The archive lacks records 1
        // to 25: nothing to stop at, so the read is a full one.
        startScale({"--records", "30", "--seed", "2"});
        child<QComboBox>(*form_, "availCom")->setEditText(QString::fromStdString(sim_->PtyPath()));
        const qint64 mark = traceSize();
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(requestsSince(mark), 31);
        QCOMPARE(gridRows(*form_).size(), 30);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config_));
        const auto scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.at(0).memories.size(), size_t(1));
        QCOMPARE(scales.value.at(0).memories[0].recordCount, qint64(30));
    }

    void anArchiveThatDoesNotAnswerInTimeLeavesTheReadFull() {
        QFETCH_GLOBAL(QString, backendName);
        if (backendName != u"sqlite") {
            QSKIP("the archive is kept busy the same way on both backends");
        }
        ARCHIVE_BACKEND_NAMED(backend, backendName);
        config_ = backend.freshArchive();
        startScale({"--records", "20", "--seed", "7"});
        openWindow();
        QVERIFY(readAndArchive());
        // The archive's thread is busy for longer than a read waits for it.
        ArchivedReads& reads = form_->archivedReads();
        reads.setSnapshotWait(300);
        keepTheArchiveBusy(2500);
        QSignalSpy notices(&reads, &ArchivedReads::noticeChanged);
        const qint64 mark = traceSize();
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(requestsSince(mark), 21);
        QVERIFY(!notices.isEmpty());
        QCOMPARE(notices.first().first().value<ArchiveNotice>().kind,
                 ArchiveNotice::Kind::NoAnswer);
        QCOMPARE(gridRows(*form_).size(), 20);
        // Told at the start of the read; the full read is filed when the
        // archive is back.
        QCOMPARE(reads.notice().kind, ArchiveNotice::Kind::FullArchived);
        QCOMPARE(reads.notice().fresh, qint64(0));
    }

    void aStoppedReadIsArchivedWithTheRecordsItGot() {
        ARCHIVE_BACKEND(backend);
        config_ = backend.freshArchive();
        startScale({"--records", "300", "--seed", "3", "--pace"});
        openWindow();
        QTest::mouseClick(child<QPushButton>(*form_, "btnOdczytaj"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(form_->readSession().receivedLineCount() >= 5, 20000);
        QTest::mouseClick(child<QPushButton>(*form_, "btnPrzerwij"), Qt::LeftButton);
        auto* read = child<QPushButton>(*form_, "btnOdczytaj");
        QVERIFY(QTest::qWaitFor([&] { return read->isEnabled(); }, 10000));
        QVERIFY(waitForArchive(*form_));
        const qint64 shown = gridRows(*form_).size();
        QVERIFY(shown >= 5 && shown < 300);
        QCOMPARE(form_->archivedReads().notice().kind, ArchiveNotice::Kind::PartArchived);
        QCOMPARE(form_->archivedReads().notice().fresh, shown);
        RecordArchive archive;
        QVERIFY_ARCHIVE_OK(archive.open(config_));
        const auto scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.at(0).memories.at(0).recordCount, shown);
        QCOMPARE(scales.value.at(0).memories.at(0).newestNumber, qint64(300));
    }

    // The archive is slow to give its snapshot: the stop still ends the read
    // at once, before the scale was asked for anything, and the next read works.
    void aStopWhileTheArchiveIsAwaitedEndsTheReadAtOnce() {
        QFETCH_GLOBAL(QString, backendName);
        if (backendName != u"sqlite") {
            QSKIP("the archive is kept busy the same way on both backends");
        }
        ARCHIVE_BACKEND_NAMED(backend, backendName);
        config_ = backend.freshArchive();
        startScale({"--records", "20", "--seed", "7"});
        openWindow();
        QVERIFY(readAndArchive());
        keepTheArchiveBusy(3000);
        const qint64 mark = traceSize();
        auto* read = child<QPushButton>(*form_, "btnOdczytaj");
        auto* stop = child<QPushButton>(*form_, "btnPrzerwij");
        QTest::mouseClick(read, Qt::LeftButton);
        QVERIFY(!stop->isHidden() && stop->isEnabled());
        QElapsedTimer sinceStop;
        sinceStop.start();
        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&] { return read->isEnabled(); }, 1000));
        QVERIFY2(sinceStop.elapsed() < 1000, "the stop waited for the archive");
        QCOMPARE(form_->stateText(), QStringLiteral("Przerwano"));
        QVERIFY(stop->isHidden());
        QCOMPARE(requestsSince(mark), 0);
        // The snapshot that comes late starts nothing; the next read is whole.
        QTest::qWait(3200);
        QCOMPARE(requestsSince(mark), 0);
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        QCOMPARE(gridRows(*form_).size(), 20);
    }

    void theArchiveCanBeBrowsedWithNoScaleAttached() {
        ARCHIVE_BACKEND(backend);
        config_ = backend.freshArchive();
        startScale({"--records", "25", "--seed", "9"});
        openWindow();
        QVERIFY(readAndArchive());
        const QList<QStringList> read = gridRows(*form_);
        form_.reset();
        sim_.reset();

        openWindow(QStringLiteral("/nonexistent/ttyScale"));
        child<QPushButton>(*form_, "btnPrzegladajArchiwum")->click();
        auto* browser = form_->findChild<TArchiveDialog*>(QStringLiteral("ArchiveDialog"));
        QVERIFY(browser != nullptr);
        auto* list = child<QTreeWidget>(*browser, "ArchiveScales");
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 1, 20000);
        QCOMPARE(list->topLevelItem(0)->text(0), QStringLiteral("SIM 6/C1, nr seryjny 560123"));
        QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("25"));
        QVERIFY(browser->chosenMemory() > 0);
        child<QPushButton>(*browser, "btnPokazArchiwum")->click();
        QTRY_COMPARE_WITH_TIMEOUT(gridRows(*form_).size(), 25, 20000);
        QCOMPARE(gridRows(*form_), read);
        QCOMPARE(child<QLabel>(*form_, "lbTyp")->text(), QStringLiteral("SIM 6/C1"));
        QCOMPARE(child<QLabel>(*form_, "lbArchiwum")->text(),
                 QStringLiteral("Archiwum: SIM 6/C1, nr seryjny 560123, rekordów 25"));

        // The filter and the export work on the archived records.
        child<QLineEdit>(*form_, "leIDod")->setText(QStringLiteral("21"));
        QTRY_COMPARE(child<QLabel>(*form_, "lbLiczbaRekordow")->text(), QStringLiteral("5"));
        const QList<QByteArray> csv = exportCsv("browsed.csv").split('\n');
        QCOMPARE(csv.size(), 1 + 5 + 1);
        QVERIFY(csv[1].startsWith("21;"));
        QVERIFY(csv[5].startsWith("25;"));
    }

    void anUnusableArchiveNeverStopsARead_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("english");
        QTest::addColumn<QString>("opened");  // the archive's line before the read
        QTest::addColumn<QString>("afterRead");
        QTest::newRow("damaged") << "damaged" << false
                                 << "Archiwum niedostępne: archiwum jest uszkodzone"
                                 << "Odczyt nie został zapisany w archiwum: archiwum jest "
                                    "uszkodzone";
        QTest::newRow("damaged, English")
            << "damaged" << true << "Archive unavailable: the archive is damaged"
            << "The read was not saved in the archive: the archive is damaged";
        QTest::newRow("locked") << "locked" << false << QString()
                                << "Odczyt nie został zapisany w archiwum: archiwum jest "
                                   "zablokowane przez inny program";
        QTest::newRow("no server")
            << "no server" << false
            << "Archiwum niedostępne: nie można otworzyć archiwum ani połączyć się z jego "
               "serwerem"
            << "Odczyt nie został zapisany w archiwum: nie można otworzyć archiwum ani "
               "połączyć się z jego serwerem";
    }

    void anUnusableArchiveNeverStopsARead() {
        QFETCH_GLOBAL(QString, backendName);
        QFETCH(QString, fault);
        QFETCH(bool, english);
        QFETCH(QString, opened);
        QFETCH(QString, afterRead);
        if (backendName != u"sqlite") {
            QSKIP("the faults are made on SQLite files and a closed port");
        }
        ARCHIVE_BACKEND_NAMED(backend, backendName);
        config_ = backend.freshArchive();
        if (fault == u"damaged") {
            QFile file(config_.sqliteFile);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(8192, 'x'));
        } else if (fault == u"no server") {
            config_.backend = ArchiveBackend::PostgreSQL;
            config_.host = QStringLiteral("127.0.0.1");
            config_.port = 1;  // nothing listens there
            config_.database = QStringLiteral("archive");
        }
        startScale({"--records", "12", "--seed", "4"});
        openWindow();
        if (english) {
            child<QToolButton>(*form_, "ENG")->click();
        }
        if (!opened.isEmpty()) {
            QCOMPARE(child<QLabel>(*form_, "lbArchiwum")->text(), opened);
        }
        std::unique_ptr<RecordArchive> holder;
        if (fault == u"locked") {
            // Another program holds the archive's write lock through the read.
            holder = std::make_unique<RecordArchive>();
            QVERIFY_ARCHIVE_OK(holder->open(config_));
            QVERIFY(backend.execOwn({QStringLiteral("BEGIN IMMEDIATE")}));
        }
        QVERIFY(readAndArchive());
        QCOMPARE(form_->stateText(),
                 english ? QStringLiteral("Success!") : QStringLiteral("Sukces!"));
        QCOMPARE(gridRows(*form_).size(), 12);
        QCOMPARE(child<QLabel>(*form_, "lbArchiwum")->text(), afterRead);
        // The operator is told, in a message, that the read is not archived.
        bool told = false;
        for (const ModalAnswerer::Message& message : answerer_.messages()) {
            told = told || message.objectName == u"ArchiveMessage";
        }
        QVERIFY(told);
        backend.closeOwn();
    }

    void theArchiveSettingsAreSavedAndTheArchiveReopened() {
        QFETCH_GLOBAL(QString, backendName);
        if (backendName != u"sqlite") {
            QSKIP("the dialog's PostgreSQL page is checked without a server");
        }
        startScale({"--records", "8", "--seed", "6"});
        openWindow(QString(), false);
        QTRY_COMPARE_WITH_TIMEOUT(form_->archivedReads().notice().kind, ArchiveNotice::Kind::Ready,
                                  20000);
        QCOMPARE(form_->archivedReads().notice().location, ArchiveConfig::defaultSqliteFile());

        const QString file = dir_.filePath(QStringLiteral("chosen/archive.sqlite"));
        child<QPushButton>(*form_, "btnUstawieniaArchiwum")->click();
        QDialog* dialog = form_->findChild<QDialog*>(QStringLiteral("ArchiveSettingsDialog"));
        QVERIFY(dialog != nullptr && dialog->isVisible());
        // A server without its database is refused.
        child<QRadioButton>(*dialog, "rbArchiwumPostgres")->click();
        child<QLineEdit>(*dialog, "leArchiwumHost")->setText(QStringLiteral("db.example"));
        child<QLineEdit>(*dialog, "leArchiwumBaza")->clear();
        child<QPushButton>(*dialog, "btnArchiwumZapisz")->click();
        QVERIFY(dialog->isVisible());
        QCOMPARE(child<QLabel>(*dialog, "lbArchiwumBlad")->text(),
                 QStringLiteral("Podaj adres serwera i nazwę bazy danych."));
        child<QRadioButton>(*dialog, "rbArchiwumSqlite")->click();
        child<QLineEdit>(*dialog, "leArchiwumPlik")->setText(file);
        child<QPushButton>(*dialog, "btnArchiwumZapisz")->click();
        QVERIFY(!dialog->isVisible());

        QSettings stored(QStringLiteral("VESK"), QStringLiteral("Tarvo"));
        QCOMPARE(stored.value(QStringLiteral("Archive/Backend")).toString(),
                 QStringLiteral("SQLite"));
        QCOMPARE(stored.value(QStringLiteral("Archive/File")).toString(), file);
        QCOMPARE(stored.value(QStringLiteral("Archive/Host")).toString(),
                 QStringLiteral("db.example"));
        QTRY_COMPARE_WITH_TIMEOUT(form_->archivedReads().notice().location, file, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(form_->archivedReads().notice().kind, ArchiveNotice::Kind::Ready,
                                  20000);
        QVERIFY(readAndArchive());
        RecordArchive archive;
        ArchiveConfig chosen;
        chosen.sqliteFile = file;
        QVERIFY_ARCHIVE_OK(archive.open(chosen));
        const auto scales = archive.listScales();
        QVERIFY_ARCHIVE_OK(scales.problem);
        QCOMPARE(scales.value.at(0).memories.at(0).recordCount, qint64(8));
    }

private:
    void startScale(std::vector<std::string> args) {
        args.insert(args.begin(), "--pty");
        args.push_back("--trace");
        trace_ = dir_.filePath(QStringLiteral("trace-%1.txt").arg(++scales_));
        sim_ = std::make_unique<ScaleSimProcess>(scaleSimPath().toStdString(), args,
                                                 trace_.toStdString());
    }

    // A new start of the program, its archive the test's own (unless told
    // otherwise), ready to read the scale.
    void openWindow(QString port = QString(), bool ownArchive = true) {
        if (port.isEmpty()) {
            port = QString::fromStdString(sim_->PtyPath());
        }
        presetSerialConnection(port);
        if (ownArchive) {
            QVERIFY(ArchiveSettings::write(config_));
        }
        form_ = std::make_unique<TMainForm>(QStringList{libraryDir()});
        form_->setDisplayFormats(polishFormats());
        QTRY_VERIFY_WITH_TIMEOUT(
            form_->archivedReads().notice().kind != ArchiveNotice::Kind::Opening, 20000);
    }

    // Reads and waits until the archive has filed `writes` reads.
    // The archive's thread works on something else for that long.
    void keepTheArchiveBusy(unsigned long milliseconds) {
        form_->archivedReads().archiveThread().run<int>(
            [milliseconds](RecordArchive&) {
                QThread::msleep(milliseconds);
                return 0;
            },
            &busyContext_, [](int) {});
    }

    bool readAndArchive(int writes = 1) {
        QSignalSpy filed(&form_->archivedReads(), &ArchivedReads::readArchived);
        return readScale(*form_) && QTest::qWaitFor([&] { return filed.size() >= writes; }, 30000);
    }

    void writeRecordsFile(const QByteArray& lines) {
        QFile file(recordsFile());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(lines);
    }

    QString recordsFile() const { return dir_.filePath(QStringLiteral("records.txt")); }

    qint64 traceSize() const { return QFileInfo(trace_).size(); }

    // The record requests the scale received since `offset` in its trace.
    int requestsSince(qint64 offset) const {
        QFile file(trace_);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(offset)) {
            return -1;
        }
        QByteArray received;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const qsizetype arrow = line.indexOf(" < ");
            if (line.startsWith("scale-sim ") && arrow > 0) {
                received += line.mid(arrow + 3);
            }
        }
        return int(received.count("Salibinext"));
    }

    QByteArray exportCsv(const QString& name) {
        const QString path = dir_.filePath(name);
        answerer_.setFileDialogAnswer(path);
        child<QPushButton>(*form_, "btnCsvExport")->click();
        answerer_.setFileDialogAnswer(QString());
        return fileContents(path);
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    QTemporaryDir dir_;
    ArchiveConfig config_;
    QString trace_;
    int scales_ = 0;
    std::unique_ptr<ScaleSimProcess> sim_;
    QObject busyContext_;  // outlives the window and its archive thread
    std::unique_ptr<TMainForm> form_;
};

QTEST_MAIN(TMainFormArchiveTest)
#include "tst_TMainFormArchive.moc"
