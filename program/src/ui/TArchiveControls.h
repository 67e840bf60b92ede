#pragma once

#include <QObject>
#include <QPointer>
#include <functional>

#include "ArchiveNotice.h"
#include "ArchivedReads.h"
#include "DisplayFormats.h"
#include "LanguageTexts.h"

class QLabel;
class QStatusBar;
class QWidget;
class TArchiveDialog;
class TArchiveGroup;
class TArchiveSettingsDialog;
struct ConnectionChoice;

// The window's side of the record archive: the archive's line in the status
// bar ("lbArchiwum"), a message when a read could not be archived, the
// archive browser and the archive settings. The grid itself is filled by the
// window from ArchivedReads::memoryLoaded.
class TArchiveControls : public QObject {
    Q_OBJECT

public:
    // `texts` and `formats` are the window's, read whenever they are needed;
    // `readRunning` tells whether a read owns the grid now.
    TArchiveControls(ArchivedReads& reads, TArchiveGroup& group, QStatusBar& statusBar,
                     const LanguageTexts& texts, const DisplayFormats& formats,
                     std::function<bool()> readRunning, QWidget* window);

    void applyLanguage();
    // Opens the archive of the stored settings.
    void openStored();

    // How a read reached the scale, for the archive's record of the read:
    // "COM /dev/ttyUSB0 9600 8 N", "USB USB1 115200 8 E", "Ethernet 192.168.1.75:1001".
    static QString connectionText(const ConnectionChoice& choice);

public slots:
    void browse();
    void editSettings();

private:
    void showNotice(const ArchiveNotice& notice);
    void showAlert(const ArchiveNotice& notice);
    void showChosenMemory(qint64 memoryId);
    void saveSettings();

    ArchivedReads& reads_;
    const LanguageTexts& texts_;
    const DisplayFormats& formats_;
    std::function<bool()> readRunning_;
    QWidget* window_;
    TArchiveGroup& group_;
    QLabel* lbArchiwum = nullptr;
    QPointer<TArchiveDialog> browser_;
    QPointer<TArchiveSettingsDialog> settings_;
};
