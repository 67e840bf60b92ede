#include "CommandTable.h"

namespace {

bool isPlaceholder(const QString& word) {
    return !word.isEmpty() && word == word.toUpper();
}

bool fits(const QStringList& form, const QStringList& words) {
    if (form.size() != words.size()) {
        return false;
    }
    for (qsizetype i = 0; i < form.size(); ++i) {
        if (!isPlaceholder(form[i]) && form[i] != words[i]) {
            return false;
        }
    }
    return true;
}

QList<CommandDefinition> buildCommands() {
    const QStringList results{QStringLiteral("out")};
    return {
        {QStringLiteral("ports"),
         QStringLiteral("List the serial devices and USB converters found."),
         {{}},
         results,
         false},
        {QStringLiteral("read"),
         QStringLiteral("Read the alibi memory: the identity and every record."),
         {{}},
         {QStringLiteral("format"), QStringLiteral("out"), QStringLiteral("archive")},
         true},
        {QStringLiteral("info"),
         QStringLiteral("Show the scale's identity lines (SW9)."),
         {{}},
         {QStringLiteral("json"), QStringLiteral("out")},
         true},
        {QStringLiteral("weigh"),
         QStringLiteral(
             "Show one weight (SI, or Sx3 with --sx3): value, unit, limits or stability."),
         {{}},
         {QStringLiteral("json"), QStringLiteral("sx3"), QStringLiteral("out")},
         true},
        {QStringLiteral("tare"), QStringLiteral("Tare the scale (ST)."), {{}}, {}, true},
        {QStringLiteral("zero"), QStringLiteral("Zero the scale (SZ)."), {{}}, {}, true},
        {QStringLiteral("ss"),
         QStringLiteral("Send SS and wait for its acknowledgement."),
         {{}},
         {},
         true},
        {QStringLiteral("sj"),
         QStringLiteral("Presence test: send SJ and wait for MJ."),
         {{}},
         {},
         true},
        {QStringLiteral("set-low"),
         QStringLiteral("Set the low limit (SL)."),
         {{QStringLiteral("VALUE")}},
         {},
         true},
        {QStringLiteral("set-high"),
         QStringLiteral("Set the high limit (SH)."),
         {{QStringLiteral("VALUE")}},
         {},
         true},
        {QStringLiteral("firmware"),
         QStringLiteral("Upload a firmware text file to the scale, line by line."),
         {{QStringLiteral("FILE")}},
         {QStringLiteral("no-start")},
         true},
        {QStringLiteral("module"),
         QStringLiteral("The Ethernet module: show its identity and serial settings, set baud or "
                        "parity, or load its firmware."),
         {{QStringLiteral("show")},
          {QStringLiteral("set"), QStringLiteral("KEY"), QStringLiteral("VALUE")},
          {QStringLiteral("firmware"), QStringLiteral("FILE")}},
         results,
         true},
        {QStringLiteral("wifi"),
         QStringLiteral("The WiFi module: show its settings, join a network, or set its "
                        "addresses by DHCP or by hand."),
         {{QStringLiteral("show")},
          {QStringLiteral("join"), QStringLiteral("SSID"), QStringLiteral("PASSWORD")},
          {QStringLiteral("dhcp")},
          {QStringLiteral("static"), QStringLiteral("IP"), QStringLiteral("MASK"),
           QStringLiteral("GATEWAY")}},
         {QStringLiteral("bssid"), QStringLiteral("out")},
         true},
        {QStringLiteral("help"),
         QStringLiteral("Show the help of a command."),
         {{}, {QStringLiteral("COMMAND")}},
         {},
         false},
    };
}

}  // namespace

QStringList CommandDefinition::synopses() const {
    QStringList lines;
    for (const QStringList& form : forms) {
        lines.append((QStringList{name} + form).join(u' '));
    }
    return lines;
}

bool CommandDefinition::accepts(const QStringList& words) const {
    for (const QStringList& form : forms) {
        if (fits(form, words)) {
            return true;
        }
    }
    return false;
}

namespace CommandTable {

const QList<CommandDefinition>& commands() {
    static const QList<CommandDefinition> table = buildCommands();
    return table;
}

const CommandDefinition* find(const QString& name) {
    for (const CommandDefinition& definition : commands()) {
        if (definition.name == name) {
            return &definition;
        }
    }
    return nullptr;
}

}  // namespace CommandTable
