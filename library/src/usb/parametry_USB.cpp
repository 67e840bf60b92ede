#include "usb/parametry_USB.h"

#include <algorithm>
#include <cstring>

#include "usb/D2xxLibrary.h"

namespace qel {
namespace {

using namespace d2xx;

std::string SerialNumberOf(const FT_DEVICE_LIST_INFO_NODE& node) {
    // D2XX terminates the text, but a field filled to the brim must not send
    // us reading past it.
    return std::string(node.SerialNumber, strnlen(node.SerialNumber, sizeof node.SerialNumber));
}

}  // namespace

std::optional<UsbDeviceList> ListUsbConverters(const D2xxLibrary& library) {
    DWORD count = 0;
    if (library.CreateDeviceInfoList(&count) != FT_OK || count == 0) {
        return std::nullopt;
    }
    std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
    DWORD filled = count;
    if (library.GetDeviceInfoList(nodes.data(), &filled) != FT_OK) {
        return std::nullopt;
    }
    // Converters attached between the two calls are not in the array.
    nodes.resize(std::min(filled, count));
    if (nodes.empty()) {
        return std::nullopt;
    }
    bool anyUnlocated = std::any_of(nodes.begin(), nodes.end(),
                                    [](const FT_DEVICE_LIST_INFO_NODE& n) { return n.LocId == 0; });
    if (anyUnlocated) {
        library.Reload(0, 0);
        return std::nullopt;
    }
    UsbDeviceList list;
    list.reserve(nodes.size());
    for (size_t i = 0; i < nodes.size(); ++i) {
        list.push_back(parametry_USB{static_cast<int32_t>(i), nodes[i].ID, nodes[i].LocId,
                                     SerialNumberOf(nodes[i]), nodes[i].ftHandle});
    }
    return list;
}

}  // namespace qel
