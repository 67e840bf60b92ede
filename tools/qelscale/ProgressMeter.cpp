#include "ProgressMeter.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kBarWidth = 30;
}

bool ProgressMeter::enabledFor(int fd) {
    return isatty(fd) == 1;
}

ProgressMeter::ProgressMeter(QString unit)
    : unit_(std::move(unit)), enabled_(enabledFor(STDERR_FILENO)) {
    clock_.start();
}

ProgressMeter::~ProgressMeter() {
    finish();
}

void ProgressMeter::show(long long done) {
    if (!enabled_) {
        return;
    }
    if (done > 0 && firstDoneAt_ < 0) {
        firstDoneAt_ = clock_.elapsed();
        firstDone_ = done;
    }
    const long long total = std::max(total_, done);
    const int filled = total > 0 ? static_cast<int>(kBarWidth * done / total) : 0;
    const QString bar = QString(filled, u'#') + QString(kBarWidth - filled, u'-');
    const QString line = QStringLiteral("\r[%1] %2/%3 %4, %5 left\033[K")
                             .arg(bar)
                             .arg(done)
                             .arg(total)
                             .arg(unit_, timeLeft(done));
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    drawn_ = true;
}

// From the pace since the first piece of work, so that the set-up before it
// (the line switch, the identity lines) does not count.
QString ProgressMeter::timeLeft(long long done) const {
    if (firstDoneAt_ < 0 || done <= firstDone_ || total_ <= done) {
        return done >= total_ && total_ > 0 ? QStringLiteral("0:00") : QStringLiteral("-:--");
    }
    const double perItem = double(clock_.elapsed() - firstDoneAt_) / double(done - firstDone_);
    const long long seconds =
        static_cast<long long>(perItem * double(total_ - done) / 1000.0 + 0.5);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void ProgressMeter::finish() {
    if (drawn_) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        drawn_ = false;
    }
}
