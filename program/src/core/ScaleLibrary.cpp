#include "ScaleLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include "QELScale.h"

namespace {

constexpr const char* kLibraryName = "QELScale";
constexpr int kLibraryMajorVersion = 1;

// QLibrary adds the platform's prefix and suffix; the versioned name covers
// a runtime-only install without the unversioned link.
bool tryLoad(QLibrary& library, const QString& name, QString& errors) {
    library.setFileNameAndVersion(name, QString());
    if (library.load()) {
        return true;
    }
    errors += library.errorString() + u'\n';
    library.setFileNameAndVersion(name, kLibraryMajorVersion);
    if (library.load()) {
        return true;
    }
    errors += library.errorString() + u'\n';
    return false;
}

}  // namespace

QStringList ScaleLibrary::defaultSearchDirs() {
    const QString appDir = QCoreApplication::applicationDirPath();
    QStringList dirs{appDir, QDir::cleanPath(appDir + QStringLiteral("/../lib"))};
    const QString installed =
        QDir::cleanPath(appDir + QStringLiteral("/../") + QLatin1String(VESKTARVO_INSTALL_LIBDIR));
    if (!dirs.contains(installed)) {
        dirs.append(installed);
    }
    return dirs;
}

CVESKScaleInterface* ScaleLibrary::createScale(const QStringList& searchDirs) {
    error_.clear();
    // Never unloaded: the scale object and its threads live in it until exit.
    auto* library = new QLibrary;
    QString errors;
    bool loaded = false;
    for (const QString& dir : searchDirs) {
        if (tryLoad(*library, QDir(dir).absoluteFilePath(QLatin1String(kLibraryName)), errors)) {
            loaded = true;
            break;
        }
    }
    if (!loaded && !tryLoad(*library, QLatin1String(kLibraryName), errors)) {
        error_ = errors.trimmed();
        delete library;
        return nullptr;
    }
    auto factory =
        reinterpret_cast<GetVESKScaleInstanceFunction>(library->resolve("GetVESKScaleInstance"));
    if (factory == nullptr) {
        error_ = library->errorString();
        return nullptr;
    }
    CVESKScaleInterface* scale = factory();
    if (scale == nullptr) {
        error_ = QStringLiteral("GetVESKScaleInstance returned no object");
    }
    return scale;
}
