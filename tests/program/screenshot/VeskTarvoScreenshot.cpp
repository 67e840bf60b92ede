// Starts the real window, reads the scale its stored settings point at, and
// saves pictures of the window after the read: as it opens (settings panel
// hidden) and with the settings panel shown; then, given a second scale that
// sends at the real line rate, one during a read of it, with the stop button
// and the time left, before it stops that read. Used by scripts/screenshot.sh.
//   vesktarvo-screenshot <after-read.png> [<with-settings.png>
//                        [<during-read.png> <paced scale's port>]]
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <cstdio>
#include <functional>

#include "StartupErrorMessage.h"
#include "TMainForm.h"

namespace {

void settle(int ms) {
    QDeadlineTimer until(ms);
    while (!until.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// The window as the screen shows it; the widget's own rendering where the
// platform cannot grab the screen.
bool savePicture(QWidget& window, const QString& path) {
    QPixmap picture;
    if (QScreen* screen = window.screen()) {
        picture = screen->grabWindow(window.winId());
    }
    if (picture.isNull() || picture.size().width() < window.width() / 2) {
        picture = window.grab();
    }
    if (!picture.save(path)) {
        std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
        return false;
    }
    std::printf("saved %s (%dx%d)\n", qPrintable(path), picture.width(), picture.height());
    return true;
}

bool waitFor(const std::function<bool()>& condition, int ms) {
    QDeadlineTimer limit(ms);
    while (!condition() && !limit.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return condition();
}

// Reads the paced scale on `port` until the status bar tells the time left,
// takes the picture, then stops the read.
bool savePictureDuringRead(TMainForm& form, const QString& port, const QString& path) {
    form.findChild<QComboBox*>(QStringLiteral("availCom"))->setEditText(port);
    auto* read = form.findChild<QPushButton*>(QStringLiteral("btnOdczytaj"));
    auto* pace = form.findChild<QLabel*>(QStringLiteral("ReadPacePanel"));
    read->click();
    const bool timeShown = waitFor([&] { return pace->text().contains(u'·'); }, 30000);
    settle(300);
    std::printf("during the read: %s\n", qPrintable(pace->text()));
    const bool saved = timeShown && savePicture(form, path);
    form.findChild<QPushButton*>(QStringLiteral("btnPrzerwij"))->click();
    const bool stopped = waitFor([&] { return read->isEnabled(); }, 5000);
    std::printf("after the stop: %s\n", qPrintable(form.stateText()));
    return saved && stopped;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("QEL Tarvo"));
    const QStringList arguments = application.arguments();
    if (arguments.size() < 2) {
        std::fprintf(stderr,
                     "usage: vesktarvo-screenshot <after-read.png> [<with-settings.png> "
                     "[<during-read.png> <paced scale's port>]]\n");
        return 2;
    }
    try {
        TMainForm form;
        form.show();
        settle(500);
        auto* read = form.findChild<QPushButton*>(QStringLiteral("btnOdczytaj"));
        read->click();
        QDeadlineTimer limit(120000);
        while (!read->isEnabled() && !limit.hasExpired()) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        std::printf("read ended: %s\n", qPrintable(form.stateText()));
        settle(500);
        bool saved = savePicture(form, arguments[1]);
        if (arguments.size() > 2) {
            form.findChild<QPushButton*>(QStringLiteral("btnUstawienia"))->click();
            settle(300);
            saved = savePicture(form, arguments[2]) && saved;
            form.findChild<QPushButton*>(QStringLiteral("btnUstawienia"))->click();
            settle(300);
        }
        if (arguments.size() > 4) {
            saved = savePictureDuringRead(form, arguments[4], arguments[3]) && saved;
        }
        return saved && read->isEnabled() ? 0 : 1;
    } catch (const std::exception& error) {
        showStartupErrorMessage(QString::fromUtf8(error.what()));
        return 1;
    }
}
