#include <QApplication>

#include "StartupErrorMessage.h"
#include "TMainForm.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
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
