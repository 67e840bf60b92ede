#pragma once

#include <QString>

// Reports an error that stops the program before its window exists: on
// stderr, and in a message box under the application's title when there is a
// screen to show it on (an offscreen run has nobody to close it).
void showStartupErrorMessage(const QString& text);
