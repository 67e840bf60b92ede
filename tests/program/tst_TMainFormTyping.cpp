#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>
#include <memory>

#include "RecordFilterProxy.h"
#include "ScaleSimProcess.h"
#include "TMainForm.h"
#include "TestSupport.h"

// Fast typing and sorting in a grid whose filter and order are applied in
// passes gathered over a frame, as on a table of a million rows. The table
// here is small; the window is told to treat it as large, so every change
// waits for its frame as it would there.
namespace {

constexpr int kRecId = 0;
constexpr int kProduct = 4;
constexpr int kNet = 5;

struct Row {
    QString recId;
    QString product;
    double net;
};

QList<QString> recIds(const QList<Row>& rows) {
    QList<QString> ids;
    for (const Row& row : rows) {
        ids.append(row.recId);
    }
    return ids;
}

QList<Row> rowsOf(const QList<QStringList>& cells) {
    const QLocale polish(QLocale::Polish, QLocale::Poland);
    QList<Row> rows;
    for (const QStringList& row : cells) {
        rows.append({row[kRecId], row[kProduct], polish.toDouble(row[kNet])});
    }
    return rows;
}

// The rows whose product holds the text, in the given order of the table.
QList<Row> matching(const QList<Row>& table, const QString& text) {
    QList<Row> rows;
    std::copy_if(table.begin(), table.end(), std::back_inserter(rows),
                 [&](const Row& row) { return row.product.contains(text); });
    return rows;
}

// By net mass; equal masses keep the table's order.
QList<Row> byNet(QList<Row> rows, Qt::SortOrder order) {
    std::stable_sort(rows.begin(), rows.end(), [order](const Row& a, const Row& b) {
        return order == Qt::AscendingOrder ? a.net < b.net : a.net > b.net;
    });
    return rows;
}

}  // namespace

class TMainFormTypingTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        if (scaleSimPath().isEmpty() || !QFile::exists(scaleSimPath())) {
            QSKIP("scale-sim is not built");
        }
        sim_ = std::make_unique<ScaleSimProcess>(
            scaleSimPath().toStdString(),
            std::vector<std::string>{"--pty", "--records", "1500", "--seed", "5"});
    }

    void init() {
        settings_.clear();
        answerer_.clear();
        form_ = windowAfterRead(QString::fromStdString(sim_->PtyPath()));
        QVERIFY(form_ != nullptr);
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QCOMPARE(form_->stateText(), QStringLiteral("Sukces!"));
        table_ = rowsOf(gridRows(*form_));
        QCOMPARE(table_.size(), 1500);
        shown_ = form_->findChild<RecordFilterProxy*>(QStringLiteral("DataSource1"));
        QVERIFY(shown_ != nullptr);
        shown_->setDeferredPassRows(0);
    }

    void cleanup() { form_.reset(); }

    void cleanupTestCase() { sim_.reset(); }

    void rapidTypingShowsTheFinalTextsRows() {
        QSignalSpy resets(shown_, &QAbstractItemModel::modelReset);
        typeProduct();
        const QList<Row> expected = matching(table_, QStringLiteral("P01"));
        QVERIFY(!expected.isEmpty() && expected.size() < table_.size());
        QTRY_COMPARE(count(), QString::number(expected.size()));
        QCOMPARE(shownIds(), recIds(expected));
        // The burst of keys was one pass over the table, told to the grid once.
        QCOMPARE(resets.count(), 1);
        QCOMPARE(form_->filterExpression(), QStringLiteral("ID_produktu like '%P01%'"));
    }

    void sortThenFilter() {
        clickNetTitle();
        QTRY_COMPARE(shownIds(), recIds(byNet(table_, Qt::AscendingOrder)));
        clickNetTitle();
        QTRY_COMPARE(shownIds(), recIds(byNet(table_, Qt::DescendingOrder)));
        typeProduct();
        const QList<Row> expected =
            byNet(matching(table_, QStringLiteral("P01")), Qt::DescendingOrder);
        QTRY_COMPARE(count(), QString::number(expected.size()));
        QCOMPARE(shownIds(), recIds(expected));
    }

    void filterAndSortWithinOnePass_data() {
        QTest::addColumn<bool>("sortFirst");
        QTest::newRow("filter change during a sort") << true;
        QTest::newRow("sort after a filter change") << false;
    }

    void filterAndSortWithinOnePass() {
        QFETCH(bool, sortFirst);
        // An earlier filter and order, applied, that the changes replace.
        edit("leProdukt")->setText(QStringLiteral("FLOUR"));
        QTRY_VERIFY(!shown_->isPassPending());
        if (sortFirst) {
            clickNetTitle();
            QVERIFY(shown_->isPassPending());
            typeProduct();
        } else {
            typeProduct();
            QVERIFY(shown_->isPassPending());
            clickNetTitle();
        }
        const QList<Row> expected =
            byNet(matching(table_, QStringLiteral("P01")), Qt::AscendingOrder);
        QTRY_COMPARE(count(), QString::number(expected.size()));
        QCOMPARE(shownIds(), recIds(expected));
        QVERIFY(!shown_->isPassPending());
    }

    void exportRightAfterTypingWritesTheFinalTextsRows() {
        clickNetTitle();
        typeProduct();
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("typed.csv"));
        answerer_.setFileDialogAnswer(path);
        child<QPushButton>(*form_, "btnCsvExport")->click();
        const QList<Row> expected =
            byNet(matching(table_, QStringLiteral("P01")), Qt::AscendingOrder);
        const QList<QByteArray> lines = fileContents(path).split('\n');
        // Titles, one line per row, and the empty piece after the last CR LF.
        QCOMPARE(lines.size(), expected.size() + 2);
        QList<QString> written;
        for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
            written.append(QString::fromUtf8(lines[i].left(lines[i].indexOf(';'))));
        }
        QCOMPARE(written, recIds(expected));
        QCOMPARE(shownIds(), recIds(expected));
        QCOMPARE(count(), QString::number(expected.size()));
    }

private:
    QLineEdit* edit(const char* name) { return child<QLineEdit>(*form_, name); }
    QString count() { return child<QLabel>(*form_, "lbLiczbaRekordow")->text(); }

    // "P01" reached by way of texts that match other rows.
    void typeProduct() {
        QLineEdit* product = edit("leProdukt");
        product->clear();
        QTest::keyClicks(product, QStringLiteral("P001"));
        QTest::keyClick(product, Qt::Key_Backspace);
        QTest::keyClick(product, Qt::Key_Backspace);
        QTest::keyClicks(product, QStringLiteral("1"));
        QCOMPARE(product->text(), QStringLiteral("P01"));
    }

    void clickNetTitle() {
        QHeaderView* titles = child<QTableView>(*form_, "DBGrid1")->horizontalHeader();
        QCOMPARE(shown_->headerData(kNet, Qt::Horizontal).toString(), QStringLiteral("Netto"));
        QTest::mouseClick(titles->viewport(), Qt::LeftButton, {},
                          QPoint(titles->sectionViewportPosition(kNet) + 5, 5));
    }

    QList<QString> shownIds() const {
        QList<QString> ids;
        for (int row = 0; row < shown_->rowCount(); ++row) {
            ids.append(shown_->index(row, kRecId).data().toString());
        }
        return ids;
    }

    TemporarySettings settings_;
    ModalAnswerer answerer_;
    std::unique_ptr<ScaleSimProcess> sim_;
    std::unique_ptr<TMainForm> form_;
    RecordFilterProxy* shown_ = nullptr;
    QList<Row> table_;
};

QTEST_MAIN(TMainFormTypingTest)
#include "tst_TMainFormTyping.moc"
