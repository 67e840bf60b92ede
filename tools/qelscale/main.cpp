#include <QCoreApplication>

#include "Qelscale.h"

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qelscale"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QELSCALE_TOOL_VERSION));
    return runQelscale(QCoreApplication::arguments());
}
