#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// Resident (VmRSS) and peak resident (VmHWM) memory of the whole process, in
// MiB, from /proc/self/status.
struct ProcessMemory {
    double residentMiB = 0;
    double peakMiB = 0;

    static ProcessMemory now() {
        ProcessMemory memory;
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly)) {
            return memory;
        }
        for (const QByteArray& line : status.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "VmRSS:") {
                memory.residentMiB = parts[1].toDouble() / 1024;
            } else if (parts.size() >= 2 && parts[0] == "VmHWM:") {
                memory.peakMiB = parts[1].toDouble() / 1024;
            }
        }
        return memory;
    }
};
