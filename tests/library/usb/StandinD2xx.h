// The stand-in D2XX library (tools/ftd2xx-standin) as a test sees it: a
// configuration of converters written for this test only, and the log of
// the calls the library made to it. The test executable finds the stand-in
// itself through LD_LIBRARY_PATH, like an installed D2XX library.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace qeltest {

class StandinD2xx {
public:
    StandinD2xx() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qel-usb-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        dir_ = pattern;
        configPath_ = dir_ / "converters.conf";
        logPath_ = dir_ / "calls.log";
        Configure("");
        setenv("FTD2XX_STANDIN_CONFIG", configPath_.c_str(), 1);
        setenv("FTD2XX_STANDIN_LOG", logPath_.c_str(), 1);
    }
    ~StandinD2xx() {
        unsetenv("FTD2XX_STANDIN_CONFIG");
        unsetenv("FTD2XX_STANDIN_LOG");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    StandinD2xx(const StandinD2xx&) = delete;
    StandinD2xx& operator=(const StandinD2xx&) = delete;

    // Read again at every listing of the converters.
    void Configure(const std::string& text) { std::ofstream(configPath_) << text; }

    // "device serial=... locid=... peer=pty:<path>" for a converter behind a
    // pseudo-terminal.
    static std::string ConverterOnPty(const std::string& serial, unsigned locId,
                                      const std::string& slavePath) {
        std::ostringstream line;
        line << "device serial=" << serial << " locid=0x" << std::hex << locId
             << " peer=pty:" << slavePath << "\n";
        return line.str();
    }

    std::vector<std::string> Log() const {
        std::vector<std::string> lines;
        std::ifstream file(logPath_);
        for (std::string line; std::getline(file, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    // The lines of one D2XX function, e.g. "FT_Open 1 -> 0".
    std::vector<std::string> Calls(const std::string& function) const {
        std::vector<std::string> matching;
        for (const auto& line : Log()) {
            if (line.rfind(function + " ", 0) == 0) {
                matching.push_back(line);
            }
        }
        return matching;
    }

    // The log lines from the first one starting with `first` on.
    std::vector<std::string> LogFrom(const std::string& first) const {
        auto lines = Log();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(first, 0) == 0) {
                return std::vector<std::string>(lines.begin() + static_cast<long>(i), lines.end());
            }
        }
        return {};
    }

    // Position of the first line equal to `line` (or starting with it), -1 if none.
    long IndexOf(const std::string& line) const {
        auto lines = Log();
        for (size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].rfind(line, 0) == 0) {
                return static_cast<long>(i);
            }
        }
        return -1;
    }

    void ClearLog() const { std::filesystem::remove(logPath_); }

private:
    std::filesystem::path dir_;
    std::filesystem::path configPath_;
    std::filesystem::path logPath_;
};

}  // namespace qeltest
