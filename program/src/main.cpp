#include <QApplication>

#include "StartupErrorMessage.h"
#include "TMainForm.h"

int main(int argc, char* argv[]) {
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
