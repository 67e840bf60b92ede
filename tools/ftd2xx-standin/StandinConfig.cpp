#include "StandinConfig.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace ftstandin {
namespace {

constexpr uint32_t kDefaultFailureStatus = 4;  // FT_IO_ERROR

template <typename Number>
bool ParseNumber(std::string_view text, Number& out) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return error == std::errc() && end == text.data() + text.size();
}

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    size_t pos = 0;
    while (pos < line.size()) {
        size_t start = line.find_first_not_of(" \t\r", pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        words.push_back(line.substr(start, end - start));
        pos = end;
    }
    return words;
}

bool IsLoopback(const std::string& host) {
    in_addr address{};
    return inet_pton(AF_INET, host.c_str(), &address) == 1 && (ntohl(address.s_addr) >> 24) == 127;
}

// "pty:/dev/pts/4" or "tcp:127.0.0.2:5001". Only loopback addresses: the
// stand-in is for tests and demonstrations on one machine.
bool ParsePeer(std::string_view text, PeerAddress& peer) {
    if (text.substr(0, 4) == "pty:" && text.size() > 4) {
        peer.kind = PeerAddress::Kind::Pty;
        peer.path = std::string(text.substr(4));
        return true;
    }
    if (text.substr(0, 4) == "tcp:") {
        std::string_view rest = text.substr(4);
        size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            return false;
        }
        peer.kind = PeerAddress::Kind::Tcp;
        peer.host = std::string(rest.substr(0, colon));
        return IsLoopback(peer.host) && ParseNumber(rest.substr(colon + 1), peer.port) &&
               peer.port != 0;
    }
    return text == "none";
}

bool ParseConverterField(std::string_view word, ConverterConfig& converter) {
    size_t equals = word.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    std::string_view key = word.substr(0, equals);
    std::string_view value = word.substr(equals + 1);
    if (key == "serial") {
        converter.serialNumber = std::string(value);
        return true;
    }
    if (key == "description") {
        converter.description = std::string(value);
        return true;
    }
    if (key == "id") {
        return ParseNumber(value, converter.id);
    }
    if (key == "locid") {
        return ParseNumber(value, converter.locId);
    }
    if (key == "peer") {
        return ParsePeer(value, converter.peer);
    }
    return false;
}

bool ParseConverter(const std::vector<std::string_view>& words, StandinConfig& config) {
    ConverterConfig converter;
    const auto number = config.converters.size() + 1;
    converter.serialNumber = "FTSI" + std::to_string(1000 + number);
    converter.locId = static_cast<uint32_t>(0x1000 + number);
    for (size_t i = 1; i < words.size(); ++i) {
        if (!ParseConverterField(words[i], converter)) {
            return false;
        }
    }
    config.converters.push_back(std::move(converter));
    return true;
}

bool IsFunctionName(std::string_view word) {
    return word.substr(0, 3) == "FT_";
}

// "fail FT_Function [STATUS] [once]"
bool ParseFailure(const std::vector<std::string_view>& words, StandinConfig& config) {
    if (words.size() < 2 || words.size() > 4 || !IsFunctionName(words[1])) {
        return false;
    }
    InjectedFailure failure;
    failure.status = kDefaultFailureStatus;
    for (size_t i = 2; i < words.size(); ++i) {
        if (words[i] == "once" && i + 1 == words.size()) {
            failure.once = true;
        } else if (i != 2 || !ParseNumber(words[i], failure.status) || failure.status == 0) {
            return false;
        }
    }
    config.failures[std::string(words[1])] = failure;
    return true;
}

// "slow FT_Function MS"
bool ParseDelay(const std::vector<std::string_view>& words, StandinConfig& config) {
    uint32_t ms = 0;
    if (words.size() != 3 || !IsFunctionName(words[1]) || !ParseNumber(words[2], ms)) {
        return false;
    }
    config.delays[std::string(words[1])] = ms;
    return true;
}

void ParseLine(std::string_view line, StandinConfig& config) {
    std::string_view content = line.substr(0, line.find('#'));
    auto words = SplitWords(content);
    if (words.empty()) {
        return;
    }
    bool understood = (words[0] == "device" && ParseConverter(words, config)) ||
                      (words[0] == "fail" && ParseFailure(words, config)) ||
                      (words[0] == "slow" && ParseDelay(words, config));
    if (!understood) {
        config.errors.emplace_back(content);
    }
}

}  // namespace

StandinConfig ParseConfig(std::string_view text) {
    StandinConfig config;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of("\n;", pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        ParseLine(text.substr(pos, end - pos), config);
        pos = end + 1;
    }
    return config;
}

StandinConfig LoadConfigFromEnvironment() {
    if (const char* path = std::getenv("FTD2XX_STANDIN_CONFIG"); path != nullptr && *path) {
        std::ifstream file(path);
        if (!file) {
            StandinConfig config;
            config.errors.push_back(std::string("cannot read ") + path);
            return config;
        }
        std::ostringstream text;
        text << file.rdbuf();
        return ParseConfig(text.str());
    }
    if (const char* inline_ = std::getenv("FTD2XX_STANDIN_DEVICES"); inline_ != nullptr) {
        return ParseConfig(inline_);
    }
    return {};
}

}  // namespace ftstandin
