#pragma once

#include <string>

#include "FaultPlan.h"

namespace scalesim {

inline constexpr int kAlibiBaud = 115200;

// Everything that shapes how the simulated scale answers, fixed at start-up.
struct ScaleSettings {
    std::string type = "SIM 6/C1";
    std::string serialNumber = "560123";
    std::string productionDate = "2019-03-01";
    std::string firmwareVersion = "1.4.2";
    std::string header = "REC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB";

    int baud = 9600;    // the line speed the scale is configured for
    char parity = 'N';  // its configured parity
    bool anyBaud = false;

    double weight = 1.234;  // gross on the pan, in `unit`
    std::string unit = "kg";
    int decimals = 3;

    FaultPlan faults;
    bool malformedCount = false;
    bool endLowercase = false;
    bool shortRecords = false;
    long long dropAfter = -1;
    long long announcedCount = -1;  // the count line says this; -1: the memory's count  // hang up
                                    // after this many records; -1 never

    int firmwareLines = 0;        // lines of an upload; 0: until an Intel HEX end record
    int firmwareRefuseLine = 0;   // answer "f2" to this line; 0 never
    int firmwareRefuseTimes = 1;  // how many times in a row
    bool firmwareSilentEnd = false;
    std::string firmwareOutPath;  // accepted firmware lines are appended here

    bool refuseWificfg = false;
};

}  // namespace scalesim
