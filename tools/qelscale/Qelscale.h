#pragma once

#include <QStringList>

// One run of the command-line tool: reads the command line, opens the
// connection the command needs and runs the command. Returns the exit code.
int runQelscale(const QStringList& arguments);
