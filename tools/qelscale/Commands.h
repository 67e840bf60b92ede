#pragma once

#include <QString>

struct Invocation;
class ScaleSession;

// What every command gets: the command line and the open scale.
struct CommandContext {
    const Invocation& invocation;
    ScaleSession& session;
    int timeoutMs;
};

// Each returns the run's exit code and has told any failure on stderr.
int runPorts(const Invocation& invocation);
int runRead(const CommandContext& context);
int runInfo(const CommandContext& context);
int runWeigh(const CommandContext& context);
// tare, zero, ss, sj, set-low and set-high.
int runAcknowledged(const CommandContext& context);
int runFirmware(const CommandContext& context);
int runModuleFirmware(const CommandContext& context);
int runModule(const CommandContext& context);
int runWifi(const CommandContext& context);

// The result text of a command, to stdout or --out.
int writeResult(const Invocation& invocation, const QByteArray& data);
