#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The commands qelscale knows, with the words each one takes. A form lists
// the words after the command name: lower-case words are literal (the
// "show" of "module show"), upper-case ones are placeholders for a value.
struct CommandDefinition {
    QString name;
    QString summary;
    QList<QStringList> forms;
    // Names of the options that only this command takes.
    QStringList options;
    bool needsConnection = true;

    // The usage line of each form, such as "module set KEY VALUE".
    QStringList synopses() const;
    // True when `words` fit one of the forms.
    bool accepts(const QStringList& words) const;
};

namespace CommandTable {

const QList<CommandDefinition>& commands();
// Null for a name that is not a command.
const CommandDefinition* find(const QString& name);

}  // namespace CommandTable
