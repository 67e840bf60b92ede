#include "core/FirmwareFile.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "text/TextUtil.h"

namespace qel {

std::vector<std::string> ReadFirmwareLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("Cannot open file \"" + path + "\"");
    }
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
        text.erase(0, 3);
    }
    return SplitLines(text);
}

}  // namespace qel
