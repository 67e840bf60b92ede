// One FTDI converter as D2XX listed it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "usb/D2xxApi.h"

namespace qel {

class D2xxLibrary;

struct parametry_USB {
    int32_t index = -1;  // position in D2XX's list: the number FT_Open takes
    uint32_t ID = 0;     // vendor and product
    uint32_t LocId = 0;
    std::string serialNumber;
    d2xx::FT_HANDLE handle = nullptr;  // as D2XX reported it; not ours to use
};

using UsbDeviceList = std::vector<parametry_USB>;

// Asks D2XX for the attached converters. Empty when it finds none, when a
// call fails, or when a converter reports location 0: D2XX then has not
// finished setting it up, so it is told to reload and the caller sees no
// converters until the next listing.
std::optional<UsbDeviceList> ListUsbConverters(const D2xxLibrary& library);

}  // namespace qel
