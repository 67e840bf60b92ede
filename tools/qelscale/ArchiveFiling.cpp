#include "ArchiveFiling.h"

#include <QCoreApplication>

#include "ArchiveSettings.h"
#include "RecordArchive.h"

namespace {

// The archive's default file lies in the program's data folder, named after
// the application; while it is used, this tool goes by the program's names.
class ProgramNames {
public:
    ProgramNames()
        : organization_(QCoreApplication::organizationName()),
          application_(QCoreApplication::applicationName()) {
        QCoreApplication::setOrganizationName(QStringLiteral("VESK"));
        QCoreApplication::setApplicationName(QStringLiteral("Tarvo"));
    }
    ~ProgramNames() {
        QCoreApplication::setOrganizationName(organization_);
        QCoreApplication::setApplicationName(application_);
    }
    ProgramNames(const ProgramNames&) = delete;
    ProgramNames& operator=(const ProgramNames&) = delete;

private:
    QString organization_;
    QString application_;
};

QString problemText(const ArchiveProblem& problem) {
    return QStringLiteral("%1: %2").arg(archiveProblemName(problem.kind), problem.detail);
}

}  // namespace

bool fileIntoArchive(const FinishedRead& read, QString* summary, QString* error) {
    const ProgramNames names;
    RecordArchive archive;
    const ArchiveConfig config = ArchiveSettings::read();
    const ArchiveProblem opened = archive.open(config);
    if (!opened.ok()) {
        *error =
            QStringLiteral("the record archive could not be opened: %1").arg(problemText(opened));
        return false;
    }
    const WriteOutcome outcome = archive.write(read);
    const QString location = archive.location();
    archive.close();
    if (!outcome.ok()) {
        *error = QStringLiteral("the record archive did not take the read: %1")
                     .arg(problemText(outcome.problem));
        return false;
    }
    *summary = QStringLiteral("archived %1 records in %2: %3 new, %4 already held, %5 set aside\n")
                   .arg(read.records.size())
                   .arg(location)
                   .arg(outcome.added)
                   .arg(outcome.alreadyHeld)
                   .arg(outcome.setAside);
    return true;
}
