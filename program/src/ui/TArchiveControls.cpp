#include "TArchiveControls.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include "ArchiveSettings.h"
#include "ArchiveTexts.h"
#include "ConnectionNames.h"
#include "TArchiveDialog.h"
#include "TArchiveGroup.h"
#include "TArchiveSettingsDialog.h"
#include "TSettingsPanel.h"

TArchiveControls::TArchiveControls(ArchivedReads& reads, TArchiveGroup& group,
                                   QStatusBar& statusBar, const LanguageTexts& texts,
                                   const DisplayFormats& formats, std::function<bool()> readRunning,
                                   QWidget* window)
    : QObject(window),
      reads_(reads),
      texts_(texts),
      formats_(formats),
      readRunning_(std::move(readRunning)),
      window_(window),
      group_(group) {
    lbArchiwum = new QLabel(&statusBar);
    lbArchiwum->setObjectName(QStringLiteral("lbArchiwum"));
    lbArchiwum->setMinimumWidth(160);
    lbArchiwum->setMaximumWidth(420);
    statusBar.addPermanentWidget(lbArchiwum);
    connect(&reads_, &ArchivedReads::noticeChanged, this, &TArchiveControls::showNotice);
    connect(&reads_, &ArchivedReads::scalesListed, this,
            [this](const ArchiveResult<std::vector<ArchivedScale>>& scales) {
                if (browser_) {
                    browser_->showScales(scales, formats_.locale());
                }
            });
    // A browsed memory is filed under its scale: the list shows it again.
    connect(&reads_, &ArchivedReads::readArchived, this, [this] {
        if (browser_ && browser_->isVisible()) {
            reads_.listScales();
        }
    });
    connect(group.browseButton(), &QPushButton::clicked, this, &TArchiveControls::browse);
    connect(group.settingsButton(), &QPushButton::clicked, this, &TArchiveControls::editSettings);
}

void TArchiveControls::openStored() {
    reads_.open(ArchiveSettings::read());
}

void TArchiveControls::applyLanguage() {
    const Language language = texts_.language();
    group_.applyCaptions(language);
    if (browser_) {
        browser_->applyCaptions(language);
    }
    if (settings_) {
        settings_->applyCaptions(language);
    }
    showNotice(reads_.notice());
}

void TArchiveControls::showNotice(const ArchiveNotice& notice) {
    const QString text = ArchiveTexts::notice(texts_.language(), notice, formats_.locale());
    lbArchiwum->setText(text);
    lbArchiwum->setToolTip(notice.problem.ok() ? notice.location : notice.problem.detail);
    if (notice.isAlert()) {
        showAlert(notice);
    }
}

void TArchiveControls::showAlert(const ArchiveNotice& notice) {
    const Language language = texts_.language();
    QString text = ArchiveTexts::notice(language, notice, formats_.locale());
    if (!notice.problem.detail.isEmpty()) {
        text += QLatin1String("\n\n") + notice.problem.detail;
    }
    QMessageBox box(QMessageBox::Warning, ArchiveTexts::text(language, "archive"), text,
                    QMessageBox::Ok, window_);
    box.setObjectName(QStringLiteral("ArchiveMessage"));
    box.exec();
}

void TArchiveControls::browse() {
    if (!browser_) {
        browser_ = new TArchiveDialog(window_);
        connect(browser_, &TArchiveDialog::showRequested, this,
                &TArchiveControls::showChosenMemory);
        connect(browser_, &TArchiveDialog::refreshRequested, &reads_, &ArchivedReads::listScales);
        connect(browser_, &TArchiveDialog::settingsRequested, this,
                &TArchiveControls::editSettings);
    }
    browser_->applyCaptions(texts_.language());
    browser_->show();
    browser_->raise();
    reads_.listScales();
}

void TArchiveControls::showChosenMemory(qint64 memoryId) {
    // A running read owns the grid.
    if (readRunning_()) {
        return;
    }
    reads_.loadMemory(memoryId, ReadSetup{texts_, formats_});
}

void TArchiveControls::editSettings() {
    if (!settings_) {
        settings_ = new TArchiveSettingsDialog(window_);
        connect(settings_, &QDialog::accepted, this, &TArchiveControls::saveSettings);
    }
    settings_->applyCaptions(texts_.language());
    settings_->setConfig(ArchiveSettings::read());
    settings_->open();
}

void TArchiveControls::saveSettings() {
    if (!ArchiveSettings::write(settings_->config())) {
        QMessageBox box(QMessageBox::Warning, ArchiveTexts::text(texts_.language(), "archive"),
                        ArchiveTexts::text(texts_.language(), "settingsNotSaved"), QMessageBox::Ok,
                        window_);
        box.setObjectName(QStringLiteral("ArchiveMessage"));
        box.exec();
        return;
    }
    openStored();
    if (browser_ && browser_->isVisible()) {
        reads_.listScales();
    }
}

QString TArchiveControls::connectionText(const ConnectionChoice& choice) {
    const QString parity = ConnectionNames::parityLetter(choice.parity);
    switch (choice.kind) {
        case ConnectionChoice::Kind::Com:
            return QStringLiteral("COM %1 %2 %3 %4")
                .arg(choice.comPort, choice.baudRate, choice.bits, parity);
        case ConnectionChoice::Kind::Usb:
            return QStringLiteral("USB %1 %2 %3 %4")
                .arg(choice.usbDevice, choice.baudRate, choice.bits, parity);
        case ConnectionChoice::Kind::Ethernet:
            return QStringLiteral("Ethernet %1:%2").arg(choice.ip, choice.port);
        case ConnectionChoice::Kind::None:
            break;
    }
    return QStringLiteral("-");
}
