// What the stand-in D2XX library presents: its converters, where each one's
// bytes go, and which D2XX calls are made to fail. See README.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace ftstandin {

struct PeerAddress {
    enum class Kind { None, Pty, Tcp };
    Kind kind = Kind::None;
    std::string path;  // Pty: the pseudo-terminal slave
    std::string host;  // Tcp: a 127.x.x.x address
    uint16_t port = 0;
};

struct ConverterConfig {
    std::string serialNumber;
    std::string description = "FT232R USB UART";
    uint32_t id = 0x04036001;  // FTDI's vendor ID, FT232R product ID
    uint32_t locId = 0;
    PeerAddress peer;
};

struct InjectedFailure {
    uint32_t status = 0;
    bool once = false;  // only the next call fails
};

struct StandinConfig {
    std::vector<ConverterConfig> converters;
    // D2XX function name -> the status it answers instead of doing its work.
    std::map<std::string, InjectedFailure> failures;
    // D2XX function name -> how long each of its calls takes, in ms.
    std::map<std::string, uint32_t> delays;
    // Lines that could not be understood, for the call log.
    std::vector<std::string> errors;
};

// Lines of the form described in README.md; ';' also ends a line so that a
// whole configuration fits in one environment variable.
StandinConfig ParseConfig(std::string_view text);

// From the file named by FTD2XX_STANDIN_CONFIG, else the text of
// FTD2XX_STANDIN_DEVICES, else no converters at all.
StandinConfig LoadConfigFromEnvironment();

}  // namespace ftstandin
