#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>

#include "CommandTable.h"

namespace {

// The connection options and the few that every command shares.
QList<QCommandLineOption> commonOptions() {
    return {
        {QStringLiteral("port"),
         QStringLiteral("Serial line: a device path such as /dev/ttyUSB0, or COMn for "
                        "/dev/ttyS(n-1)."),
         QStringLiteral("PATH|COMn")},
        {QStringLiteral("baud"),
         QStringLiteral("Line speed: 1200, 2400, 4800, 9600 (the scale's default), 19200, "
                        "38400, 57600 or 115200. Over --tcp or --udp it sets the Ethernet "
                        "module's serial side."),
         QStringLiteral("N")},
        {QStringLiteral("parity"), QStringLiteral("Parity: N (default), O or E."),
         QStringLiteral("N|O|E")},
        {QStringLiteral("bits"), QStringLiteral("Data bits: 7 or 8 (default)."),
         QStringLiteral("7|8")},
        {QStringLiteral("usb"),
         QStringLiteral("FTDI USB converter number N (1 is the first; see the ports command)."),
         QStringLiteral("N")},
        {QStringLiteral("tcp"), QStringLiteral("The scale's Ethernet module over TCP."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("udp"), QStringLiteral("The scale's Ethernet module over UDP."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("routing"), QStringLiteral("With --udp: unicast (default) or broadcast."),
         QStringLiteral("unicast|broadcast")},
        {QStringLiteral("broadcast"), QStringLiteral("The same as --routing broadcast.")},
        {QStringLiteral("timeout"),
         QStringLiteral("How long to wait for a reply, in milliseconds (default 1000)."),
         QStringLiteral("MS"), QStringLiteral("1000")},
        {QStringLiteral("help"), QStringLiteral("Show this help and exit.")},
        {QStringLiteral("version"), QStringLiteral("Show the version and exit.")},
    };
}

QCommandLineOption commandOption(const QString& name) {
    if (name == u"format") {
        return {name, QStringLiteral("Output format: jsonl (default) or csv."),
                QStringLiteral("csv|jsonl"), QStringLiteral("jsonl")};
    }
    if (name == u"out") {
        return {name,
                QStringLiteral("Write the result to FILE instead of standard output. The file "
                               "appears only when the command succeeds, whole."),
                QStringLiteral("FILE")};
    }
    if (name == u"json") {
        return {name, QStringLiteral("Print one JSON object instead of text.")};
    }
    if (name == u"sx3") {
        return {name, QStringLiteral("Ask Sx3 instead of SI: its reply tells whether the weight is "
                                     "stable.")};
    }
    if (name == u"no-start") {
        return {name,
                QStringLiteral("Do not send the start command: the scale already waits for the "
                               "first line, at the current line speed.")};
    }
    if (name == u"archive") {
        return {name,
                QStringLiteral("Also file the read into QEL Tarvo's record archive (where its "
                               "archive settings say); standard output then gets a summary "
                               "line, and the records go only to --out.")};
    }
    if (name == u"bssid") {
        return {name, QStringLiteral("With join: the access point's address."),
                QStringLiteral("ADDRESS")};
    }
    return {name, QString()};
}

// One synopsis per command, such as "module show | set KEY VALUE | firmware
// FILE", laid out like Qt's option list (which help2man reads as a list too).
QString commandSynopsis(const CommandDefinition& definition) {
    if (definition.forms.size() == 2 && definition.forms[0].isEmpty()) {
        return QStringLiteral("%1 [%2]").arg(definition.name, definition.forms[1].join(u' '));
    }
    QStringList forms;
    for (const QStringList& form : definition.forms) {
        forms.append(form.join(u' '));
    }
    return (definition.name + u' ' + forms.join(QStringLiteral(" | "))).trimmed();
}

QString commandList() {
    constexpr qsizetype kColumn = 33;
    QString text;
    for (const CommandDefinition& definition : CommandTable::commands()) {
        QString line = QStringLiteral("  ") + commandSynopsis(definition);
        line = line.size() + 2 <= kColumn ? line.leftJustified(kColumn)
                                          : line + u'\n' + QString(kColumn, u' ');
        text += line + definition.summary + u'\n';
    }
    return text;
}

QString generalDescription() {
    return QStringLiteral(
               "Talks to a weighing scale through the QELScale library: reads its alibi memory, "
               "sends its weighing commands, uploads firmware and configures its Ethernet and "
               "WiFi modules.\n\n"
               "Commands:\n") +
           commandList() +
           QStringLiteral(
               "\nEvery command but ports and help needs one of --port, --usb, --tcp or --udp.\n"
               "'qelscale COMMAND --help' shows a command's own options.\n\n"
               "Exit status: 0 success; 1 the scale or module refused or did not answer, or a "
               "file could not be read or written; 2 the command line was not understood; 3 "
               "the connection could not be opened.");
}

QString commandDescription(const CommandDefinition& definition) {
    QString text = definition.summary + QStringLiteral("\n\nUsage:\n");
    for (const QString& synopsis : definition.synopses()) {
        text += QStringLiteral("  qelscale [connection] %1\n").arg(synopsis);
    }
    return text.trimmed();
}

void addOptions(QCommandLineParser& parser, const QStringList& commandOptions) {
    for (const QCommandLineOption& option : commonOptions()) {
        parser.addOption(option);
    }
    for (const QString& name : commandOptions) {
        parser.addOption(commandOption(name));
    }
}

// The options that some command takes, each once.
QStringList everyCommandOption() {
    QStringList names;
    for (const CommandDefinition& definition : CommandTable::commands()) {
        for (const QString& name : definition.options) {
            if (!names.contains(name)) {
                names.append(name);
            }
        }
    }
    return names;
}

void prepare(QCommandLineParser& parser, const CommandDefinition* definition) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (definition == nullptr) {
        parser.setApplicationDescription(generalDescription());
        parser.addPositionalArgument(QStringLiteral("command"),
                                     QStringLiteral("The command to run (see above)."),
                                     QStringLiteral("COMMAND [ARGUMENTS]"));
        addOptions(parser, everyCommandOption());
        return;
    }
    parser.setApplicationDescription(commandDescription(*definition));
    parser.addPositionalArgument(definition->name, definition->summary,
                                 definition->synopses().value(0, definition->name));
    addOptions(parser, definition->options);
}

}  // namespace

CommandLine::Outcome CommandLine::parse(const QStringList& arguments) {
    QCommandLineParser finder;
    prepare(finder, nullptr);
    if (!finder.parse(arguments)) {
        return usageError(finder.errorText());
    }
    const QStringList positional = finder.positionalArguments();
    if (positional.isEmpty()) {
        if (finder.isSet(QStringLiteral("version"))) {
            return Outcome::Version;
        }
        if (finder.isSet(QStringLiteral("help"))) {
            return Outcome::Help;
        }
        return usageError(QStringLiteral("no command given"));
    }
    const CommandDefinition* definition = CommandTable::find(positional.first());
    if (definition == nullptr) {
        return usageError(QStringLiteral("unknown command '%1'").arg(positional.first()));
    }
    helpFor_ = definition;
    QCommandLineParser parser;
    prepare(parser, definition);
    if (!parser.parse(arguments)) {
        return usageError(QStringLiteral("%1: %2").arg(definition->name, parser.errorText()));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        return Outcome::Help;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        return Outcome::Version;
    }
    invocation_.command = definition;
    invocation_.words = parser.positionalArguments().mid(1);
    if (definition->name == u"help") {
        return helpCommand();
    }
    if (!definition->accepts(invocation_.words)) {
        return usageError(QStringLiteral("%1: unexpected arguments '%2'")
                              .arg(definition->name, invocation_.words.join(u' ')));
    }
    for (const QString& name : parser.optionNames()) {
        invocation_.values.insert(name, parser.value(name));
    }
    // The two options with defaults always have a value to read.
    invocation_.values.insert(QStringLiteral("timeout"), parser.value(QStringLiteral("timeout")));
    if (definition->options.contains(u"format")) {
        invocation_.values.insert(QStringLiteral("format"), parser.value(QStringLiteral("format")));
    }
    return Outcome::Run;
}

CommandLine::Outcome CommandLine::helpCommand() {
    if (invocation_.words.isEmpty()) {
        helpFor_ = nullptr;
        return Outcome::Help;
    }
    const CommandDefinition* definition = CommandTable::find(invocation_.words.first());
    if (definition == nullptr || invocation_.words.size() > 1) {
        return usageError(
            QStringLiteral("help: unknown command '%1'").arg(invocation_.words.join(u' ')));
    }
    helpFor_ = definition;
    return Outcome::Help;
}

CommandLine::Outcome CommandLine::usageError(const QString& message) {
    error_ = message;
    return Outcome::UsageError;
}

QString CommandLine::helpText() const {
    QCommandLineParser parser;
    prepare(parser, helpFor_);
    QString text = parser.helpText();
    // Qt names the program by the path it was started with.
    const qsizetype lineEnd = text.indexOf(u'\n');
    const qsizetype options = text.indexOf(u' ', 7);
    if (text.startsWith(QStringLiteral("Usage: ")) && options > 0 && options < lineEnd) {
        text.replace(7, options - 7, QStringLiteral("qelscale"));
    }
    // A command's one "argument" is its own name; the usage lines say more.
    const qsizetype arguments = text.indexOf(QStringLiteral("\nArguments:\n"));
    if (helpFor_ != nullptr && arguments > 0) {
        text.truncate(arguments + 1);
    }
    return text;
}

QString CommandLine::usageText() const {
    if (helpFor_ == nullptr) {
        QStringList names;
        for (const CommandDefinition& definition : CommandTable::commands()) {
            names.append(definition.name);
        }
        return QStringLiteral(
                   "Usage: qelscale [connection] COMMAND [ARGUMENTS]\n"
                   "Commands: %1\n"
                   "Run 'qelscale --help' for the whole help.\n")
            .arg(names.join(QStringLiteral(", ")));
    }
    QString text = QStringLiteral("Usage:\n");
    for (const QString& synopsis : helpFor_->synopses()) {
        text += QStringLiteral("  qelscale [connection] %1\n").arg(synopsis);
    }
    return text + QStringLiteral("Run 'qelscale %1 --help' for its options.\n").arg(helpFor_->name);
}

QString CommandLine::versionText() {
    return QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                         QCoreApplication::applicationVersion());
}
