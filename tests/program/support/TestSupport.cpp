#include "TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>

#include <QPushButton>
#include <QTableView>
#include <QTest>
#include "ArchivedReads.h"
#include "LanguageTexts.h"
#include "RecordConversion.h"
#include "RecordTableModel.h"
#include "SettingsStore.h"
#include "TMainForm.h"

TemporarySettings::TemporarySettings() {
    activate();
}

// The user's data folder (where the record archive lives by default) moves
// into the folder too, so that every test process starts with an archive of
// its own and no two test programs share one.
void TemporarySettings::activate() {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
    qputenv("XDG_DATA_HOME", QDir(dir_.path()).filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", QDir(dir_.path()).filePath(QStringLiteral("cache")).toLocal8Bit());
}

QString TemporarySettings::dataDir() const {
    return QDir(dir_.path()).filePath(QStringLiteral("data"));
}

QString TemporarySettings::fileName() const {
    return QSettings(QStringLiteral("VESK"), QStringLiteral("Tarvo")).fileName();
}

void TemporarySettings::clear() {
    QFile::remove(fileName());
    QDir(dataDir()).removeRecursively();
}

void TemporarySettings::writeRaw(const QByteArray& contents) {
    const QString path = fileName();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(contents);
    }
}

ModalAnswerer::ModalAnswerer() {
    timer_.setInterval(20);
    QObject::connect(&timer_, &QTimer::timeout, [this] { answer(); });
    timer_.start();
}

ModalAnswerer::~ModalAnswerer() = default;

void ModalAnswerer::answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        messages_.push_back({box->objectName(), box->windowTitle(), box->text(),
                             static_cast<int>(box->icon()), box->informativeText()});
        box->done(QMessageBox::Ok);
        return;
    }
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        if (fileAnswer_.isEmpty()) {
            dialog->reject();
            return;
        }
        // As an operator does: go to the folder and type the name; a folder
        // that does not exist can only be typed as part of the name.
        const QFileInfo answer(fileAnswer_);
        const bool folderExists = QFileInfo(answer.absolutePath()).isDir();
        if (folderExists) {
            dialog->setDirectory(answer.absolutePath());
        }
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) {
            dialog->selectFile(fileAnswer_);
        } else {
            name->setText(folderExists ? answer.fileName() : answer.absoluteFilePath());
        }
        QMetaObject::invokeMethod(dialog, "accept");
        return;
    }
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        dialog->reject();
    }
}

AlibiRecord TestRecord::view() const {
    AlibiRecord record{};
    record.recordId = recordId;
    record.date = date.constData();
    record.time = time.constData();
    record.number = number;
    record.userId = userId.constData();
    record.productId = productId.constData();
    record.net = net;
    record.gross = gross;
    record.tare = tare;
    record.unit = unit;
    record.decimals = decimals;
    record.stable = stable;
    return record;
}

QString standardColumnLine() {
    return QStringLiteral("REC_ID;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;STB\r\n");
}

RecordLayout standardLayout(Language language) {
    return RecordLayout::fromColumnLine(standardColumnLine(), LanguageTexts(language));
}

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString libraryDir() {
    return QStringLiteral(QELSCALE_DIR);
}

QString scaleSimPath() {
#ifdef SCALE_SIM_PATH
    return QStringLiteral(SCALE_SIM_PATH);
#else
    return {};
#endif
}

QString programPath() {
    return QStringLiteral(VESKTARVO_PATH);
}

QString python3Path() {
    const QString configured = QStringLiteral(PYTHON3_PATH);
    return configured.isEmpty() ? QStandardPaths::findExecutable(QStringLiteral("python3"))
                                : configured;
}

void loadRecords(RecordTableModel& table, const std::vector<TestRecord>& records, Language language,
                 const DisplayFormats& formats) {
    const RecordLayout layout = standardLayout(language);
    table.defineFields(layout);
    RecordBatch batch;
    const RecordConverter converter(layout, LanguageTexts(language), formats);
    for (auto record = records.rbegin(); record != records.rend(); ++record) {
        converter.append(record->view(), batch);
    }
    table.appendRows(std::move(batch));
}

DisplayFormats polishFormats() {
    return DisplayFormats(QLocale(QLocale::Polish, QLocale::Poland), QStringLiteral("dd.MM.yyyy"),
                          QStringLiteral("HH:mm:ss"));
}

void presetSerialConnection(const QString& port, const QString& baud) {
    SettingsStore().setValues({{QStringLiteral("Last Used"), QStringLiteral("COM")},
                               {QStringLiteral("COM_port"), port},
                               {QStringLiteral("COM_baudrate"), baud},
                               {QStringLiteral("COM_parity"), QStringLiteral("None")},
                               {QStringLiteral("COM_bits"), QStringLiteral("8")}});
}

bool readScale(TMainForm& form, int timeoutMs) {
    auto* button = child<QPushButton>(form, "btnOdczytaj");
    if (button == nullptr || !button->isEnabled()) {
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return QTest::qWaitFor([&] { return button->isEnabled(); }, timeoutMs) &&
           waitForArchive(form, timeoutMs);
}

bool waitForArchive(TMainForm& form, int timeoutMs) {
    QObject context;
    bool done = false;
    // The archive runs its jobs in order: this one answers after the others.
    form.archivedReads().archiveThread().run<int>([](RecordArchive&) { return 0; }, &context,
                                                  [&done](int) { done = true; });
    return QTest::qWaitFor([&] { return done; }, timeoutMs);
}

std::unique_ptr<TMainForm> windowAfterRead(const QString& port) {
    presetSerialConnection(port);
    auto form = std::make_unique<TMainForm>(QStringList{libraryDir()});
    form->setDisplayFormats(polishFormats());
    if (!readScale(*form)) {
        return nullptr;
    }
    return form;
}

QStringList gridTitles(const TMainForm& form) {
    const QAbstractItemModel* shown = child<QTableView>(form, "DBGrid1")->model();
    QStringList titles;
    for (int column = 0; column < shown->columnCount(); ++column) {
        titles.append(shown->headerData(column, Qt::Horizontal).toString());
    }
    return titles;
}

QList<QStringList> gridRows(const TMainForm& form) {
    const QAbstractItemModel* shown = child<QTableView>(form, "DBGrid1")->model();
    QList<QStringList> rows;
    for (int row = 0; row < shown->rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < shown->columnCount(); ++column) {
            cells.append(shown->index(row, column).data().toString());
        }
        rows.append(cells);
    }
    return rows;
}
