#pragma once

#include <QString>

// Every failure of a run is told on standard error in one line that starts
// with the program's name, so that a script's log shows what failed.
void printFailure(const QString& message);

// The same line, and the run's exit code, in one step for the commands.
int fail(int exitCode, const QString& message);
