#include "ResultOutput.h"

#include <QSaveFile>
#include <cstdio>

bool ResultOutput::write(const QByteArray& data, QString* error) const {
    if (path_.isEmpty()) {
        const bool written =
            std::fwrite(data.constData(), 1, size_t(data.size()), stdout) == size_t(data.size()) &&
            std::fflush(stdout) == 0;
        if (!written) {
            *error = QStringLiteral("could not write to standard output");
        }
        return written;
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = QStringLiteral("could not write %1: %2").arg(path_, file.errorString());
        return false;
    }
    return true;
}
