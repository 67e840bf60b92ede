#pragma once

#include <QString>

#include "QELScale.h"

struct ConnectionTarget;

// The one library object of a run, opened on the connection of the command
// line. It stops any dialogue, closes the line and releases the object when
// the run ends, whatever way it ends.
class ScaleSession {
public:
    ScaleSession();
    ~ScaleSession();
    ScaleSession(const ScaleSession&) = delete;
    ScaleSession& operator=(const ScaleSession&) = delete;

    // Sets the connection up and opens it. On failure returns the exit code
    // (no connection, or a refused module setting) and sets `message`.
    int open(const ConnectionTarget& target, QString* message);

    CVESKScaleInterface* scale() const { return scale_; }
    CVESKDeviceInterface* device() const { return scale_; }
    // The library's answer to a parameter key, as text.
    QString parameter(const char* key) const;
    // The connection as the record archive files it (see ConnectionTarget).
    const QString& connectionText() const { return connectionText_; }

private:
    int openSerial(const ConnectionTarget& target, QString* message);
    int openUsb(const ConnectionTarget& target, QString* message);
    int openEthernet(const ConnectionTarget& target, QString* message);
    int connect(const ConnectionTarget& target, QString* message);
    int setModuleSerial(const ConnectionTarget& target, QString* message);
    bool setLine(const ConnectionTarget& target);
    QString failureReason() const;

    CVESKScaleInterface* scale_ = nullptr;
    QString connectionText_;
};
