#include "Failure.h"

#include <cstdio>

void printFailure(const QString& message) {
    std::fprintf(stderr, "qelscale: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

int fail(int exitCode, const QString& message) {
    printFailure(message);
    return exitCode;
}
