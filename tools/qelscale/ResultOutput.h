#pragma once

#include <QByteArray>
#include <QString>

// Where a command's result goes: standard output, or the --out file, which
// is written to a temporary file beside it and renamed into place only when
// the whole result is there, so that a failed run never leaves half a file
// under that name.
class ResultOutput {
public:
    explicit ResultOutput(QString path) : path_(std::move(path)) {}

    bool write(const QByteArray& data, QString* error) const;

private:
    QString path_;
};
