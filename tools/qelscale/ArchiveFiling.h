#pragma once

#include <QString>

struct FinishedRead;

// Files a finished read into the record archive that QEL Tarvo keeps, where
// its archive settings say (by default an SQLite file in its data folder).
// Returns the summary line for standard output, or sets `error`.
bool fileIntoArchive(const FinishedRead& read, QString* summary, QString* error);
