#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "QELScale.h"
#include "RecordLayout.h"
#include "RecordRows.h"

class QWidget;
class QFileDialog;

// Points every QSettings("VESK", "Tarvo") of this process, and the user's
// data folder with the default record archive, at a temporary folder, so
// that no test touches the user's own settings or archive.
class TemporarySettings {
public:
    TemporarySettings();
    // Points the settings at this folder again (after a test moved them).
    void activate();
    QString fileName() const;
    // Removes the stored settings and the default archive: the next window
    // starts as on a new machine.
    void clear();
    // What QStandardPaths takes for the user's data folder.
    QString dataDir() const;
    // Writes the raw settings file (INI) for a start from prepared values.
    void writeRaw(const QByteArray& contents);

private:
    QTemporaryDir dir_;
};

// Answers the modal dialogs a test provokes (message boxes, the file dialog)
// and remembers what the message boxes said.
class ModalAnswerer {
public:
    struct Message {
        QString objectName;
        QString title;
        QString text;
        int icon;
        QString informativeText;  // what the box shows under its text
    };

    ModalAnswerer();
    ~ModalAnswerer();

    // The file dialog is answered with this path (empty: cancelled).
    void setFileDialogAnswer(const QString& path) { fileAnswer_ = path; }
    const std::vector<Message>& messages() const { return messages_; }
    void clear() { messages_.clear(); }

private:
    void answer();

    QTimer timer_;
    QString fileAnswer_;
    std::vector<Message> messages_;
};

// A record as the library hands it over, with texts owned by the test.
struct TestRecord {
    qint64 recordId = 1;
    QByteArray date = "2024-01-05";
    QByteArray time = "12:00:01";
    qint32 number = 3;
    QByteArray userId = "U1";
    QByteArray productId = "P2";
    float net = 1.5f;
    float gross = 2.0f;
    float tare = 0.5f;
    qint32 unit = 4;
    qint16 decimals = 3;
    bool stable = true;

    AlibiRecord view() const;
};

// The ten fields of a well-formed column line, in the given language.
RecordLayout standardLayout(Language language = Language::Polish);
QString standardColumnLine();

class RecordTableModel;
class DisplayFormats;

// Defines the ten standard fields in the language and loads the records, as
// a read would, newest (last given) first.
void loadRecords(RecordTableModel& table, const std::vector<TestRecord>& records, Language language,
                 const DisplayFormats& formats);

// Polish texts with a day.month.year date and a decimal comma.
DisplayFormats polishFormats();

class TMainForm;

template <typename T>
T* child(const QObject& parent, const char* name) {
    return parent.findChild<T*>(QLatin1String(name));
}

// Stores the settings of a serial connection to this port, as a save of the
// settings panel would, so that the next window is ready to read it.
void presetSerialConnection(const QString& port, const QString& baud = QStringLiteral("9600"));

// Presses the read button and waits for the read to end (success or error)
// and for the record archive to have filed it. False when that does not
// happen within the time.
bool readScale(TMainForm& form, int timeoutMs = 30000);
// Waits until the window's record archive has done every job queued so far.
bool waitForArchive(TMainForm& form, int timeoutMs = 30000);

// A window with Polish formats that has read the scale on this line
// (presetSerialConnection, then readScale); null when the read did not end.
std::unique_ptr<TMainForm> windowAfterRead(const QString& port);

// Texts of the grid as it shows them: the titles, then each shown row.
QStringList gridTitles(const TMainForm& form);
QList<QStringList> gridRows(const TMainForm& form);

// The whole file, or nothing when it cannot be read.
QByteArray fileContents(const QString& path);

// Where the test programs find the parts they run.
QString libraryDir();
QString scaleSimPath();
QString programPath();
QString python3Path();
