#include "ModulePeer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "TermiosBaud.h"

namespace wifitest {
namespace {

constexpr char kEscape = '\x1b';
const std::string kPlusses = "+++";

// Cuts the next whole command off the front of `buffer`; empty when the
// buffer holds none yet.
std::string TakeCommand(std::string& buffer) {
    size_t length = 0;
    if (buffer.empty()) {
        return {};
    }
    if (buffer[0] == kEscape) {
        length = 1;
    } else if (buffer.compare(0, kPlusses.size(), kPlusses) == 0) {
        length = kPlusses.size();
    } else if (size_t end = buffer.find("\r\n"); end != std::string::npos) {
        length = end + 2;
    }
    std::string command = buffer.substr(0, length);
    buffer.erase(0, length);
    return command;
}

}  // namespace

ModulePeer::ModulePeer() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        throw std::runtime_error("openpty failed");
    }
    slavePath_ = name;
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    Answer("Swificfg\r\n", "Mwificfg\r\n");
    Answer("+++", "CLOSED\r\n");
    Answer("AT\r\n", "\r\nOK\r\n");
    Answer("ATE0\r\n", "\r\nOK\r\n");
    Answer("SJ\r\n", "MJ\r\n");
    lastArrival_ = Clock::now();
    thread_ = std::thread([this] { Run(); });
}

ModulePeer::~ModulePeer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    thread_.join();
    close(master_);
    close(slave_);
}

void ModulePeer::Answer(const std::string& command, const std::string& reply) {
    Answer(command, {{std::chrono::milliseconds(0), reply}});
}

void ModulePeer::Answer(const std::string& command, std::vector<ReplyPart> parts) {
    std::lock_guard lock(mutex_);
    replies_[command] = std::move(parts);
}

void ModulePeer::Ignore(const std::string& command) {
    std::lock_guard lock(mutex_);
    replies_.erase(command);
}

std::vector<Heard> ModulePeer::HeardCommands() const {
    std::lock_guard lock(mutex_);
    return heard_;
}

void ModulePeer::ForgetHeard() {
    std::lock_guard lock(mutex_);
    heard_.clear();
}

std::vector<std::string> ModulePeer::CommandTexts() const {
    std::vector<std::string> texts;
    for (const Heard& heard : HeardCommands()) {
        texts.push_back(heard.text);
    }
    return texts;
}

std::string ModulePeer::Unframed() const {
    std::lock_guard lock(mutex_);
    return pending_;
}

void ModulePeer::WaitForQuiet(std::chrono::milliseconds quiet) const {
    while (true) {
        Clock::time_point last;
        {
            std::lock_guard lock(mutex_);
            last = lastArrival_;
        }
        if (Clock::now() - last >= quiet) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ModulePeer::SlaveBaud() const {
    termios settings{};
    tcgetattr(slave_, &settings);
    return qeltest::BaudOfSpeed(cfgetospeed(&settings));
}

void ModulePeer::Run() {
    while (true) {
        int timeoutMs;
        {
            std::lock_guard lock(mutex_);
            if (stop_) {
                return;
            }
            timeoutMs = PollTimeoutMs(Clock::now());
        }
        pollfd pfd{master_, POLLIN, 0};
        int ready = poll(&pfd, 1, timeoutMs);
        // The speed is read before anything is answered, so it is the one
        // the command went out at: the library changes it only after a reply.
        int baud = SlaveBaud();
        char buffer[4096];
        ssize_t got = ready > 0 ? read(master_, buffer, sizeof buffer) : 0;
        std::lock_guard lock(mutex_);
        Clock::time_point now = Clock::now();
        if (got > 0) {
            pending_.append(buffer, static_cast<size_t>(got));
            lastArrival_ = now;
            TakeCommands(now, baud);
        }
        SendDue(now);
    }
}

void ModulePeer::TakeCommands(Clock::time_point now, int baud) {
    for (std::string command = TakeCommand(pending_); !command.empty();
         command = TakeCommand(pending_)) {
        heard_.push_back({command, baud, now});
        auto reply = replies_.find(command);
        if (reply == replies_.end()) {
            continue;
        }
        Clock::time_point due = now;
        for (const ReplyPart& part : reply->second) {
            due += part.pause;
            outgoing_.emplace(due, part.bytes);
        }
    }
}

void ModulePeer::SendDue(Clock::time_point now) {
    while (!outgoing_.empty() && outgoing_.begin()->first <= now) {
        const std::string& bytes = outgoing_.begin()->second;
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t sent = write(master_, bytes.data() + done, bytes.size() - done);
            if (sent > 0) {
                done += static_cast<size_t>(sent);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        outgoing_.erase(outgoing_.begin());
    }
}

int ModulePeer::PollTimeoutMs(Clock::time_point now) const {
    constexpr int kIdlePollMs = 20;
    if (outgoing_.empty()) {
        return kIdlePollMs;
    }
    auto untilDue =
        std::chrono::duration_cast<std::chrono::milliseconds>(outgoing_.begin()->first - now);
    return static_cast<int>(std::clamp<int64_t>(untilDue.count(), 0, kIdlePollMs));
}

}  // namespace wifitest
