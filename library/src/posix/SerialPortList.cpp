#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/SerialDevice.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

// A UART slot the kernel reserves without hardware reports port type 0.
bool HasHardware(const fs::path& entry) {
    std::error_code ignored;
    if (!fs::exists(entry / "device", ignored)) {
        return false;  // virtual consoles, pseudo-terminals
    }
    std::ifstream typeFile(entry / "type");
    int type = -1;
    if (typeFile >> type) {
        return type != 0;
    }
    return true;  // USB and ACM converters have no type file
}

}  // namespace

bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t iEnd = i;
            size_t jEnd = j;
            while (iEnd < a.size() && isDigit(a[iEnd]))
                ++iEnd;
            while (jEnd < b.size() && isDigit(b[jEnd]))
                ++jEnd;
            std::string_view x(a.data() + i, iEnd - i);
            std::string_view y(b.data() + j, jEnd - j);
            while (x.size() > 1 && x.front() == '0')
                x.remove_prefix(1);
            while (y.size() > 1 && y.front() == '0')
                y.remove_prefix(1);
            if (x.size() != y.size()) {
                return x.size() < y.size();
            }
            if (x != y) {
                return x < y;
            }
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j]) {
            return a[i] < b[j];
        }
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::vector<std::string> ListSerialPorts(const std::string& classDir, const std::string& devDir) {
    std::vector<std::string> ports;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(classDir, error)) {
        if (HasHardware(entry.path())) {
            ports.push_back((fs::path(devDir) / entry.path().filename()).string());
        }
    }
    std::sort(ports.begin(), ports.end(), NaturalLess);
    return ports;
}

}  // namespace qel
