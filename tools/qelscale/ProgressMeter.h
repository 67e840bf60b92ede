#pragma once

#include <QElapsedTimer>
#include <QString>

// A one-line progress bar on standard error, with the work done and the time
// left. Drawn only when standard error is a terminal: logs and pipes get
// nothing from it.
class ProgressMeter {
public:
    explicit ProgressMeter(QString unit);
    ~ProgressMeter();

    void setTotal(long long total) { total_ = total; }
    void show(long long done);
    // Clears the bar, so that a message after it starts on a clean line.
    void finish();

    static bool enabledFor(int fd);

private:
    QString timeLeft(long long done) const;

    QString unit_;
    long long total_ = 0;
    bool enabled_;
    bool drawn_ = false;
    QElapsedTimer clock_;
    qint64 firstDoneAt_ = -1;
    long long firstDone_ = 0;
};
