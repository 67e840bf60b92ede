// The far end of the scale's line for WiFi tests: a pseudo-terminal whose
// master side plays the scale and the WiFi module behind it. It answers each
// command from a reply table, writes down every command with the line speed
// the library had programmed when it arrived, and can answer in parts with
// pauses, or not at all.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace wifitest {

using Clock = std::chrono::steady_clock;

// One command the peer received: "+++", one ESC byte, or a CR LF line.
struct Heard {
    std::string text;
    int baud = 0;
    Clock::time_point at;
};

struct ReplyPart {
    std::chrono::milliseconds pause;  // after the command, or after the previous part
    std::string bytes;
};

class ModulePeer {
public:
    // Starts as a cooperative scale and module in their handshakes: the scale
    // hands the line over and answers "SJ", the module leaves its transparent
    // link and answers "AT" and "ATE0". Other commands get no answer.
    ModulePeer();
    ~ModulePeer();
    ModulePeer(const ModulePeer&) = delete;
    ModulePeer& operator=(const ModulePeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }

    void Answer(const std::string& command, const std::string& reply);
    void Answer(const std::string& command, std::vector<ReplyPart> parts);
    void Ignore(const std::string& command);

    std::vector<Heard> HeardCommands() const;
    void ForgetHeard();
    std::vector<std::string> CommandTexts() const;
    // Bytes received after the last whole command.
    std::string Unframed() const;
    // Waits until nothing has arrived for `quiet`.
    void WaitForQuiet(std::chrono::milliseconds quiet) const;
    // The line speed currently programmed on the library's side.
    int SlaveBaud() const;

private:
    void Run();
    void TakeCommands(Clock::time_point now, int baud);
    void SendDue(Clock::time_point now);
    int PollTimeoutMs(Clock::time_point now) const;

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;

    mutable std::mutex mutex_;
    std::map<std::string, std::vector<ReplyPart>> replies_;
    std::vector<Heard> heard_;
    std::string pending_;
    Clock::time_point lastArrival_;
    std::multimap<Clock::time_point, std::string> outgoing_;
    bool stop_ = false;
    std::thread thread_;
};

// Commands of the handshakes, as the library sends them.
inline const std::vector<std::string> kEnterCommands = {"Swificfg\r\n", "+++", "AT\r\n",
                                                        "ATE0\r\n"};
inline const std::vector<std::string> kLeaveCommands = {"\x1b", "SJ\r\n"};

}  // namespace wifitest
