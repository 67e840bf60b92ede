#include "SerialSpeed.h"

namespace scalesim {

namespace {

struct SpeedEntry {
    int baud;
    speed_t speed;
};

constexpr SpeedEntry kSpeeds[] = {
    {1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200},
};

}  // namespace

bool IsSupportedBaud(int baud) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud) {
            return true;
        }
    }
    return false;
}

speed_t SpeedFromBaud(int baud) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.baud == baud) {
            return entry.speed;
        }
    }
    return B9600;
}

int BaudFromSpeed(speed_t speed) {
    for (const SpeedEntry& entry : kSpeeds) {
        if (entry.speed == speed) {
            return entry.baud;
        }
    }
    return 0;
}

int FrameBits(const termios& settings) {
    int dataBits = 8;
    switch (settings.c_cflag & CSIZE) {
        case CS5:
            dataBits = 5;
            break;
        case CS6:
            dataBits = 6;
            break;
        case CS7:
            dataBits = 7;
            break;
        default:
            break;
    }
    const int parityBits = (settings.c_cflag & PARENB) ? 1 : 0;
    const int stopBits = (settings.c_cflag & CSTOPB) ? 2 : 1;
    return 1 + dataBits + parityBits + stopBits;
}

}  // namespace scalesim
