#include "core/FirmwareFile.h"

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "text/TextUtil.h"

namespace qel {
namespace {

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 after its byte-order mark, as UTF-8; none when it is malformed (an
// odd byte count or a lone surrogate).
std::optional<std::string> DecodeUtf16(const std::string& bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) {
        return std::nullopt;
    }
    auto unitAt = [&](size_t i) {
        const auto first = static_cast<uint8_t>(bytes[i]);
        const auto second = static_cast<uint8_t>(bytes[i + 1]);
        return static_cast<uint32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        uint32_t code = unitAt(i);
        if (code >= 0xDC00 && code <= 0xDFFF) {
            return std::nullopt;
        }
        if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 3 >= bytes.size()) {
                return std::nullopt;
            }
            const uint32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low > 0xDFFF) {
                return std::nullopt;
            }
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(text, code);
    }
    return text;
}

// The file's text as the 8-bit text the scale receives: UTF-8 as it is,
// UTF-16 (named by its byte-order mark) decoded to UTF-8. None for a file
// that is no text: one that holds zero bytes (UTF-16 or UTF-32 without a
// mark, a binary image) or malformed UTF-16. A zero byte must never reach the
// scale, which takes it for the end of a line's text.
std::optional<std::string> FirmwareText(std::string bytes) {
    std::optional<std::string> text;
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        text = bytes.substr(3);
    } else if (bytes.rfind("\xFF\xFE", 0) == 0) {
        text = DecodeUtf16(bytes.substr(2), false);
    } else if (bytes.rfind("\xFE\xFF", 0) == 0) {
        text = DecodeUtf16(bytes.substr(2), true);
    } else {
        text = std::move(bytes);
    }
    if (text && text->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return text;
}

}  // namespace

std::vector<std::string> ReadFirmwareLines(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("Cannot open file \"" + path + "\"");
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::optional<std::string> text = FirmwareText(std::move(bytes));
    return text ? SplitLines(*text) : std::vector<std::string>();
}

}  // namespace qel
