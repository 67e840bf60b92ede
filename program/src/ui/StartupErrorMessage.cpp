#include "StartupErrorMessage.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

void showStartupErrorMessage(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        return;
    }
    QMessageBox::critical(nullptr, QGuiApplication::applicationDisplayName(), text);
}
