#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

struct CommandDefinition;

// One understood command line: the command, the words after it and the
// options given, by their long names.
struct Invocation {
    const CommandDefinition* command = nullptr;
    QStringList words;
    QHash<QString, QString> values;

    bool isSet(const QString& option) const { return values.contains(option); }
    QString value(const QString& option) const { return values.value(option); }
};

// Reads the command line in two steps: every option of every command finds
// the command word; then the command's own options, and only those, read the
// line again, so that an option given to the wrong command is an error.
class CommandLine {
public:
    enum class Outcome { Run, Help, Version, UsageError };

    Outcome parse(const QStringList& arguments);

    const Invocation& invocation() const { return invocation_; }
    // For UsageError: what was wrong, in one line.
    const QString& error() const { return error_; }
    // The help of the command (or of qelscale as a whole when there is none).
    QString helpText() const;
    // The short form shown after a usage error.
    QString usageText() const;
    static QString versionText();

private:
    Outcome helpCommand();
    Outcome usageError(const QString& message);

    Invocation invocation_;
    QString error_;
    const CommandDefinition* helpFor_ = nullptr;
};
