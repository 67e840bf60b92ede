#include "SimOptions.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <string_view>
#include <vector>

#include "SerialSpeed.h"

namespace scalesim {

namespace {

using Handler = std::function<bool(SimOptions&, const std::string&, std::string&)>;

struct OptionDefinition {
    const char* name;
    bool takesValue;
    Handler apply;
};

template <typename Number>
bool ParseInteger(const std::string& text, Number low, Number high, Number& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && value >= low && value <= high;
}

bool ParseDouble(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return !text.empty() && ec == std::errc() && ptr == end && std::isfinite(value);
}

// Integer options: the value must lie in [low, high].
template <typename Number, typename Target>
Handler IntegerOption(Number low, Number high, Target target) {
    return [=](SimOptions& options, const std::string& value, std::string& error) {
        Number number{};
        if (!ParseInteger(value, low, high, number)) {
            error = "expected a whole number from " + std::to_string(low) + " to " +
                    std::to_string(high) + ", got \"" + value + "\"";
            return false;
        }
        target(options, number);
        return true;
    };
}

Handler TextOption(std::function<void(SimOptions&, const std::string&)> target) {
    return [=](SimOptions& options, const std::string& value, std::string&) {
        target(options, value);
        return true;
    };
}

Handler FlagOption(std::function<void(SimOptions&)> target) {
    return [=](SimOptions& options, const std::string&, std::string&) {
        target(options);
        return true;
    };
}

// Protocol texts end at CR LF, so values holding line breaks or ";" would change the lines.
Handler LineTextOption(std::function<void(SimOptions&, const std::string&)> target) {
    return [=](SimOptions& options, const std::string& value, std::string& error) {
        if (value.find_first_of("\r\n") != std::string::npos) {
            error = "the value must not contain line breaks";
            return false;
        }
        target(options, value);
        return true;
    };
}

Handler AddressOption(std::optional<LoopbackAddress> SimOptions::*member) {
    return [=](SimOptions& options, const std::string& value, std::string& error) {
        LoopbackAddress address;
        if (!ParseLoopbackAddress(value, address, error)) {
            return false;
        }
        options.*member = address;
        return true;
    };
}

Handler StepOption(FaultAction action) {
    return [=](SimOptions& options, const std::string& value, std::string& error) {
        StepRef step;
        if (!ParseStep(value, step)) {
            error = "unknown step \"" + value + "\"; steps are " + StepNamesForHelp();
            return false;
        }
        options.scale.faults.Add(step, action);
        return true;
    };
}

// SSID,PASSWORD[,BSSID[,RSSI[,CHANNEL]]] with "\," for a comma inside a value.
bool ParseNetwork(const std::string& text, AccessPoint& network, std::string& error) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            fields.back() += text[++i];
        } else if (text[i] == ',') {
            fields.emplace_back();
        } else {
            fields.back() += text[i];
        }
    }
    error = "expected SSID,PASSWORD[,BSSID[,RSSI[,CHANNEL]]], got \"" + text + "\"";
    if (fields.size() < 2 || fields.size() > 5 || fields[0].empty()) {
        return false;
    }
    network.ssid = fields[0];
    network.password = fields[1];
    char bssid[32];
    std::snprintf(bssid, sizeof bssid, "02:00:00:00:%02x:%02x", static_cast<unsigned>(text.size()),
                  static_cast<unsigned char>(fields[0][0]));
    network.bssid = fields.size() > 2 ? fields[2] : bssid;
    return (fields.size() <= 3 || ParseInteger(fields[3], -100, 0, network.rssi)) &&
           (fields.size() <= 4 || ParseInteger(fields[4], 1, 14, network.channel));
}

const std::vector<OptionDefinition>& Options() {
    static const std::vector<OptionDefinition> definitions = {
        {"--help", false, FlagOption([](SimOptions& o) { o.help = true; })},
        {"--version", false, FlagOption([](SimOptions& o) { o.version = true; })},
        {"--pty", false, FlagOption([](SimOptions& o) { o.pty = true; })},
        {"--link", true, TextOption([](SimOptions& o, const std::string& v) { o.linkPath = v; })},
        {"--tcp", true, AddressOption(&SimOptions::tcp)},
        {"--udp", true, AddressOption(&SimOptions::udp)},
        {"--tibbo", false, FlagOption([](SimOptions& o) { o.tibbo = true; })},
        {"--trace", false, FlagOption([](SimOptions& o) { o.trace = true; })},

        {"--baud", true,
         [](SimOptions& o, const std::string& v, std::string& error) {
             int baud = 0;
             if (!ParseInteger(v, 1, 1'000'000, baud) || !IsSupportedBaud(baud)) {
                 error = "the baud rate must be one of 1200, 2400, 4800, 9600, 19200, 38400, "
                         "57600, 115200";
                 return false;
             }
             o.scale.baud = baud;
             return true;
         }},
        {"--parity", true,
         [](SimOptions& o, const std::string& v, std::string& error) {
             if (v != "N" && v != "E" && v != "O") {
                 error = "the parity must be N, E or O";
                 return false;
             }
             o.scale.parity = v[0];
             return true;
         }},
        {"--any-baud", false, FlagOption([](SimOptions& o) { o.scale.anyBaud = true; })},

        {"--type", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.type = v;
         })},
        {"--serial", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.serialNumber = v;
         })},
        {"--production-date", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.productionDate = v;
         })},
        {"--firmware-version", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.firmwareVersion = v;
         })},
        {"--header", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.header = v;
         })},

        {"--weight", true,
         [](SimOptions& o, const std::string& v, std::string& error) {
             if (!ParseDouble(v, o.scale.weight)) {
                 error = "expected a number such as 1.234, got \"" + v + "\"";
                 return false;
             }
             return true;
         }},
        {"--unit", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.scale.unit = v;
         })},
        {"--decimals", true,
         IntegerOption(0, 6, [](SimOptions& o, int v) { o.scale.decimals = v; })},

        {"--records", true,
         IntegerOption<std::int64_t>(0, 5'000'000,
                                     [](SimOptions& o, std::int64_t v) { o.records = v; })},
        {"--seed", true,
         IntegerOption<std::uint64_t>(0, std::numeric_limits<std::uint64_t>::max(),
                                      [](SimOptions& o, std::uint64_t v) { o.seed = v; })},
        {"--records-file", true,
         TextOption([](SimOptions& o, const std::string& v) { o.recordsFile = v; })},
        {"--grow", true,
         IntegerOption<std::int64_t>(1, 1'000'000,
                                     [](SimOptions& o, std::int64_t v) { o.growBy = v; })},
        {"--one-scale", false, FlagOption([](SimOptions& o) { o.oneScale = true; })},

        {"--silent-at", true, StepOption(FaultAction::Silent)},
        {"--garbage-at", true, StepOption(FaultAction::Garbage)},
        {"--unterminated-at", true, StepOption(FaultAction::Unterminated)},
        {"--oversized-at", true, StepOption(FaultAction::Oversized)},
        {"--repeat-at", true, StepOption(FaultAction::Repeated)},
        {"--announce", true,
         IntegerOption<long long>(0, 2'147'483'647,
                                  [](SimOptions& o, long long v) { o.scale.announcedCount = v; })},
        {"--fault-once", false, FlagOption([](SimOptions& o) { o.scale.faults.SetOnce(true); })},
        {"--malformed-count", false,
         FlagOption([](SimOptions& o) { o.scale.malformedCount = true; })},
        {"--end-lowercase", false, FlagOption([](SimOptions& o) { o.scale.endLowercase = true; })},
        {"--short-records", false, FlagOption([](SimOptions& o) { o.scale.shortRecords = true; })},
        {"--drop-after", true,
         IntegerOption<long long>(0, 1'000'000'000,
                                  [](SimOptions& o, long long v) { o.scale.dropAfter = v; })},

        {"--chunk", true,
         IntegerOption<std::size_t>(1, 65536,
                                    [](SimOptions& o, std::size_t v) { o.delivery.chunk = v; })},
        {"--chunk-gap", true, IntegerOption(0, 10'000, [](SimOptions& o, int v) {
             o.delivery.chunkGap = std::chrono::milliseconds(v);
         })},
        {"--pace", false, FlagOption([](SimOptions& o) { o.delivery.pace = true; })},

        {"--fw-lines", true,
         IntegerOption(1, 10'000'000, [](SimOptions& o, int v) { o.scale.firmwareLines = v; })},
        {"--fw-refuse", true, IntegerOption(1, 10'000'000, [](SimOptions& o, int v) {
             o.scale.firmwareRefuseLine = v;
         })},
        {"--fw-refuse-twice", false,
         FlagOption([](SimOptions& o) { o.scale.firmwareRefuseTimes = 2; })},
        {"--fw-silent-end", false,
         FlagOption([](SimOptions& o) { o.scale.firmwareSilentEnd = true; })},
        {"--fw-out", true,
         TextOption([](SimOptions& o, const std::string& v) { o.scale.firmwareOutPath = v; })},

        {"--wifi-refuse", false, FlagOption([](SimOptions& o) { o.scale.refuseWificfg = true; })},
        {"--wifi-silent", false, FlagOption([](SimOptions& o) { o.wifi.silent = true; })},
        {"--wifi-echo", false, FlagOption([](SimOptions& o) { o.wifi.echo = true; })},
        {"--wifi-join-no-ok", false,
         FlagOption([](SimOptions& o) { o.wifi.joinWithoutOk = true; })},
        {"--wifi-log", true,
         TextOption([](SimOptions& o, const std::string& v) { o.wifi.logPath = v; })},
        {"--wifi-network", true,
         [](SimOptions& o, const std::string& v, std::string& error) {
             AccessPoint network;
             if (!ParseNetwork(v, network, error)) {
                 return false;
             }
             o.wifi.networks.push_back(network);
             return true;
         }},

        {"--tibbo-mac", true,
         [](SimOptions& o, const std::string& v, std::string& error) {
             // Six decimal bytes separated by dots, as the module writes its address.
             int parts = 0;
             std::size_t start = 0;
             for (;;) {
                 const std::size_t dot = v.find('.', start);
                 int byte = 0;
                 if (!ParseInteger(v.substr(start, dot - start), 0, 255, byte)) {
                     break;
                 }
                 ++parts;
                 if (dot == std::string::npos) {
                     break;
                 }
                 start = dot + 1;
             }
             if (parts != 6 || std::count(v.begin(), v.end(), '.') != 5) {
                 error = "expected six numbers 0-255 separated by dots, such as 0.36.119.87.16.42";
                 return false;
             }
             o.module.mac = v;
             return true;
         }},
        {"--tibbo-owner", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.module.owner = v;
         })},
        {"--tibbo-name", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.module.deviceName = v;
         })},
        {"--tibbo-version", true, LineTextOption([](SimOptions& o, const std::string& v) {
             o.module.version = v;
         })},
        {"--tibbo-loading", false,
         FlagOption([](SimOptions& o) { o.module.startInLoading = true; })},
        {"--tibbo-silent", false, FlagOption([](SimOptions& o) { o.module.silent = true; })},
        {"--tibbo-refuse-block", true, IntegerOption(0, 65535, [](SimOptions& o, int v) {
             o.module.refuseBlock = v;
         })},
        {"--tibbo-refuse", true,
         TextOption([](SimOptions& o, const std::string& v) { o.module.refuseCommand = v; })},
        {"--tibbo-stay-loading", false,
         FlagOption([](SimOptions& o) { o.module.stayInLoading = true; })},
        {"--tibbo-image-out", true,
         TextOption([](SimOptions& o, const std::string& v) { o.module.imageOutPath = v; })},
    };
    return definitions;
}

const OptionDefinition* FindOption(std::string_view name) {
    for (const OptionDefinition& option : Options()) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

bool ParseSimOptions(int argc, char** argv, SimOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        std::optional<std::string> inlineValue;
        if (const std::size_t equals = argument.find('=');
            argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = argument.substr(equals + 1);
            argument.resize(equals);
        }
        const OptionDefinition* option = FindOption(argument);
        if (!option) {
            error = "unknown option " + argument + " (see --help)";
            return false;
        }
        std::string value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = argument + " needs a value";
                return false;
            }
        } else if (inlineValue) {
            error = argument + " takes no value";
            return false;
        }
        if (!option->apply(options, value, error)) {
            error = argument + ": " + error;
            return false;
        }
    }
    if (!options.tcp && !options.udp) {
        options.pty = true;
    }
    if (!options.linkPath.empty() && !options.pty) {
        error = "--link needs a pseudo-terminal (--pty)";
        return false;
    }
    if (options.tibbo && !options.tcp && !options.udp) {
        error = "--tibbo needs --tcp or --udp: the module listens on the same address";
        return false;
    }
    if (options.tibbo && options.tcp && options.udp && options.tcp->host != options.udp->host) {
        error = "--tcp and --udp must share their address when --tibbo is given";
        return false;
    }
    if (options.tibbo && options.udp && options.udp->port == 65535) {
        error = "with --tibbo, UDP port 65535 is the module's management port";
        return false;
    }
    // The identity reply must fit the 64 bytes a program reads, with '/' between fields.
    if (options.module.owner.find('/') != std::string::npos ||
        options.module.deviceName.find('/') != std::string::npos ||
        options.module.owner.size() + options.module.deviceName.size() > 26) {
        error = "--tibbo-owner and --tibbo-name hold no '/' and 26 characters together";
        return false;
    }
    if (options.wifi.networks.empty()) {
        options.wifi.networks = WifiSettings::DefaultNetworks();
    }
    return true;
}

}  // namespace scalesim
