#include "TibboModule.h"

#include <cstdio>
#include <fstream>

namespace scalesim {

namespace {

constexpr int kBauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr char kParities[] = {'N', 'E', 'O'};
constexpr std::size_t kBlockSize = 128;

// The module writes each byte of its address with three digits, so every field after
// it sits at a fixed place.
std::string PadMac(const std::string& mac) {
    std::string padded;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = mac.find('.', start);
        const std::string part = mac.substr(start, dot - start);
        char byte[8];
        std::snprintf(byte, sizeof byte, "%03d", std::atoi(part.c_str()));
        padded += byte;
        if (dot == std::string::npos) {
            return padded;
        }
        padded += '.';
        start = dot + 1;
    }
}

// A single digit after the command name, within [0, count).
bool IndexArgument(std::string_view command, std::size_t nameLength, int count, int& index) {
    if (command.size() != nameLength + 1 || command[nameLength] < '0' ||
        command[nameLength] >= '0' + count) {
        return false;
    }
    index = command[nameLength] - '0';
    return true;
}

int BaudIndex(int baud) {
    for (int i = 0; i < 8; ++i) {
        if (kBauds[i] == baud) {
            return i;
        }
    }
    return 3;
}

int ParityIndex(char parity) {
    return parity == 'E' ? 1 : parity == 'O' ? 2 : 0;
}

}  // namespace

TibboModule::TibboModule(const TibboSettings& settings, ModuleSerial& serial)
    : settings_(settings),
      serial_(serial),
      paddedMac_(PadMac(settings.mac)),
      loading_(settings.startInLoading) {}

std::string TibboModule::Identity() const {
    return "A" + paddedMac_ + "/0000/" + (loading_ ? "L" : "N") + "----/" + settings_.owner + "/" +
           settings_.deviceName;
}

bool TibboModule::Refused(std::string_view command) const {
    const std::string& refused = settings_.refuseCommand;
    if (refused.empty()) {
        return false;
    }
    // Commands that carry an argument are matched by their name alone.
    const bool takesArgument = refused == "PBR" || refused == "PPR" || refused == "D";
    return takesArgument ? command.substr(0, refused.size()) == refused : command == refused;
}

std::optional<std::string> TibboModule::Handle(std::string_view command) {
    if (settings_.silent) {
        return std::nullopt;
    }
    if (command.empty()) {
        return "C";
    }
    if (Refused(command)) {
        return "D";
    }
    if (command == "X") {
        return Identity();
    }
    return loading_ ? HandleLoading(command) : HandleNormal(command);
}

std::string TibboModule::HandleNormal(std::string_view command) {
    int index = 0;
    if (command == "V") {
        return "A" + settings_.version;
    }
    if (command == "L") {
        loggedIn_ = true;
        return "A";
    }
    if (command == "O") {
        loggedIn_ = false;
        return "A";
    }
    if (command == "GBR") {
        return "A" + std::to_string(BaudIndex(serial_.baud));
    }
    if (command == "GPR") {
        return "A" + std::to_string(ParityIndex(serial_.parity));
    }
    if (command.substr(0, 3) == "PBR") {
        if (!IndexArgument(command, 3, 8, index)) {
            return "C";
        }
        serial_.baud = kBauds[index];
        return "A";
    }
    if (command.substr(0, 3) == "PPR") {
        if (!IndexArgument(command, 3, 3, index)) {
            return "C";
        }
        serial_.parity = kParities[index];
        return "A";
    }
    if (command == "N") {
        // Only a logged-in session may restart the module into its loader.
        if (!loggedIn_) {
            return "D";
        }
        loading_ = true;
        prepared_ = false;
        return "A";
    }
    if (command == "Q" || command == "E" || command[0] == 'D') {
        return "R";
    }
    return "C";
}

std::string TibboModule::HandleLoading(std::string_view command) {
    if (command == "Q") {
        prepared_ = true;
        nextBlock_ = 0;
        image_.clear();
        return "A";
    }
    if (command[0] == 'D') {
        return AcceptBlock(command);
    }
    if (command == "E") {
        return EndLoad();
    }
    if (command == "V") {
        return "Aloader";
    }
    return "R";
}

std::string TibboModule::AcceptBlock(std::string_view packet) {
    if (!prepared_ || packet.size() < 4 || packet.size() > 3 + kBlockSize) {
        return "F";
    }
    const int number =
        (static_cast<unsigned char>(packet[1]) << 8) | static_cast<unsigned char>(packet[2]);
    if (number == settings_.refuseBlock) {
        return "F";
    }
    const std::string_view data = packet.substr(3);
    if (number == nextBlock_ - 1 && image_.size() >= kBlockSize * number) {
        // The same block again (its answer was lost): it replaces the stored copy.
        image_.resize(kBlockSize * number);
        image_.append(data);
        return "A";
    }
    // Only full blocks may come before another one.
    if (number != nextBlock_ || image_.size() != kBlockSize * number) {
        return "F";
    }
    image_.append(data);
    ++nextBlock_;
    return "A";
}

std::string TibboModule::EndLoad() {
    if (!prepared_) {
        return "R";
    }
    if (!settings_.imageOutPath.empty()) {
        std::ofstream out(settings_.imageOutPath, std::ios::binary | std::ios::trunc);
        out << image_;
    }
    prepared_ = false;
    loading_ = settings_.stayInLoading;
    loggedIn_ = false;
    return "A";
}

}  // namespace scalesim
