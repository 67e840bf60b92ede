#include <QApplication>
#include <cstdio>
#include <cstring>

#include "StartupErrorMessage.h"
#include "TMainForm.h"

namespace {

// --help and --version are answered before any window system is reached, so
// that they work on a console without a display (and for the man page).
bool answeredInformationOption(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("VeskTarvo %s\n", VESKTARVO_VERSION);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf(
                "Usage: VeskTarvo [options]\n"
                "QEL Tarvo: reads the weighing records that a scale keeps in its alibi memory over "
                "a serial line, an FTDI USB converter or the scale's Ethernet module, shows them "
                "in "
                "a table, filters them by date, time, mass, record number, product and user, and "
                "exports the shown rows to CSV. The connection and the language are chosen in the "
                "window and kept for the next start.\n\n"
                "Options:\n"
                "  -h, --help     Show this help and exit.\n"
                "  -v, --version  Show the version and exit.\n\n"
                "Qt's own options, such as -platform and -style, are accepted as well.\n");
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (answeredInformationOption(argc, argv)) {
        return 0;
    }
    QApplication application(argc, argv);
    // The record archive's default file lies in the data folder named by these.
    QApplication::setOrganizationName(QStringLiteral("VESK"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationDisplayName(QStringLiteral("QEL Tarvo"));
    try {
        TMainForm form;
        form.show();
        return QApplication::exec();
    } catch (const std::exception& error) {
        showStartupErrorMessage(QString::fromUtf8(error.what()));
        return 1;
    }
}
