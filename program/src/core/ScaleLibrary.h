#pragma once

#include <QString>
#include <QStringList>

class CVESKScaleInterface;

// Loads QELScale at run time and creates its one scale object. The library
// is looked for beside the executable first, then in ../lib (an installed
// tree), then by the system's search. It stays loaded and the object alive
// until the process ends.
class ScaleLibrary {
public:
    static QStringList defaultSearchDirs();

    // Null when the library, its factory or the object is not available;
    // errorString() then says why.
    CVESKScaleInterface* createScale(const QStringList& searchDirs = defaultSearchDirs());
    const QString& errorString() const { return error_; }

private:
    QString error_;
};
