#pragma once

// Runs the scale simulator (tools/scale-sim) as a child process for a test: starts it,
// waits for its endpoints, and stops it again. Plain C++ and POSIX, usable from any test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

class ScaleSimProcess {
public:
    static std::string DefaultPath() {
#ifdef SCALE_SIM_PATH
        return SCALE_SIM_PATH;
#else
        return "scale-sim";
#endif
    }

    // Starts the simulator with these arguments and waits up to 10 s for its "ready" line.
    // Throws std::runtime_error when it does not get ready (its reason is on stderr).
    explicit ScaleSimProcess(std::vector<std::string> args)
        : ScaleSimProcess(DefaultPath(), std::move(args)) {}

    // `stderrPath`, when not empty, receives what the simulator writes to stderr (its
    // --trace of every byte, say) instead of the test's own stderr.
    ScaleSimProcess(std::string path, std::vector<std::string> args, std::string stderrPath = "") {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            throw std::runtime_error("scale-sim: cannot create a pipe");
        }
        std::vector<std::string> all{path};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);

        const int errorFd =
            stderrPath.empty()
                ? -1
                : open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        pid_ = fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls between fork and exec.
            dup2(pipeFds[1], STDOUT_FILENO);
            if (errorFd >= 0) {
                dup2(errorFd, STDERR_FILENO);
            }
            prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        if (errorFd >= 0) {
            close(errorFd);
        }
        if (pid_ < 0) {
            close(pipeFds[0]);
            throw std::runtime_error("scale-sim: fork failed");
        }
        // Kept open: the simulator reports later changes on its stdout (WaitForOutput).
        output_ = pipeFds[0];
        const bool ready = ReadUntil("ready", std::chrono::seconds(10), &lines_);
        if (!ready) {
            Stop();
            std::string shown;
            for (const std::string& line : lines_) {
                shown += " [" + line + "]";
            }
            throw std::runtime_error("scale-sim did not get ready (" + path +
                                     "); it printed:" + shown);
        }
    }

    ~ScaleSimProcess() {
        Stop();
        if (output_ >= 0) {
            close(output_);
        }
    }

    ScaleSimProcess(const ScaleSimProcess&) = delete;
    ScaleSimProcess& operator=(const ScaleSimProcess&) = delete;

    const std::string& PtyPath() const {
        return pty_;
    }
    std::string TcpAddress() const {
        return HostOf(tcp_);
    }
    int TcpPort() const {
        return PortOf(tcp_);
    }
    std::string UdpAddress() const {
        return HostOf(udp_);
    }
    int UdpPort() const {
        return PortOf(udp_);
    }
    std::string TibboAddress() const {
        return HostOf(tibbo_);
    }
    // Every line printed before "ready".
    const std::vector<std::string>& EndpointLines() const {
        return lines_;
    }

    int Pid() const {
        return pid_;
    }

    // Sends `signal` to the simulator (SIGUSR1: new records on top; SIGHUP: the records
    // file again) and waits up to `timeout` for the line it prints when done, such as
    // "records 12". False when that line does not come.
    bool SignalAndWait(int signal, const std::string& line,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return pid_ > 0 && kill(pid_, signal) == 0 && WaitForOutput(line, timeout);
    }

    // Waits for the simulator to print `line` on its stdout after "ready".
    bool WaitForOutput(const std::string& line,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        return ReadUntil(line, timeout, nullptr);
    }

    bool Running() const {
        Reap(false);
        return pid_ > 0 && !exited_;
    }

    // Waits for the simulator to end by itself (after --drop-after on a terminal, say).
    bool WaitForExit(std::chrono::milliseconds timeout) const {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (Running()) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // The wait status after the process ended (see waitpid), -1 before.
    int ExitStatus() const {
        return exited_ ? status_ : -1;
    }

    // SIGTERM, then SIGKILL if it has not ended within 3 s.
    void Stop() {
        if (pid_ <= 0 || !Running()) {
            return;
        }
        kill(pid_, SIGTERM);
        if (!WaitForExit(std::chrono::seconds(3))) {
            kill(pid_, SIGKILL);
            Reap(true);
        }
    }

    // Runs the simulator to its end (for --help or refused options): its exit code and
    // what it printed on stdout.
    static int RunToEnd(std::vector<std::string> args, std::string* output = nullptr,
                        std::string path = DefaultPath()) {
        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) {
            return -1;
        }
        std::vector<std::string> all{path};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : all) {
            argv.push_back(arg.data());
        }
        argv.push_back(nullptr);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(pipeFds[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(pipeFds[1]);
        std::string text;
        char buffer[4096];
        ssize_t count;
        while ((count = read(pipeFds[0], buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        }
        close(pipeFds[0]);
        int status = 0;
        if (pid < 0 || waitpid(pid, &status, 0) != pid) {
            return -1;
        }
        if (output) {
            *output = text;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    // Reads stdout lines until `wanted`; the lines before it go to `skipped` (and are
    // taken as endpoints) when given.
    bool ReadUntil(const std::string& wanted, std::chrono::milliseconds timeout,
                   std::vector<std::string>* skipped) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::size_t newline;
            while ((newline = pending_.find('\n')) != std::string::npos) {
                const std::string line = pending_.substr(0, newline);
                pending_.erase(0, newline + 1);
                if (line == wanted) {
                    return true;
                }
                if (skipped) {
                    skipped->push_back(line);
                    Remember(line);
                }
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || output_ < 0) {
                return false;
            }
            pollfd waitFor{output_, POLLIN, 0};
            if (poll(&waitFor, 1, static_cast<int>(left.count())) <= 0) {
                continue;
            }
            char buffer[512];
            const ssize_t count = read(output_, buffer, sizeof buffer);
            if (count <= 0) {
                return false;  // it ended before printing the line
            }
            pending_.append(buffer, static_cast<std::size_t>(count));
        }
    }

    void Remember(const std::string& line) {
        const std::size_t space = line.find(' ');
        const std::string kind = line.substr(0, space);
        const std::string value = space == std::string::npos ? "" : line.substr(space + 1);
        if (kind == "pty") {
            pty_ = value;
        } else if (kind == "tcp") {
            tcp_ = value;
        } else if (kind == "udp") {
            udp_ = value;
        } else if (kind == "tibbo") {
            tibbo_ = value;
        }
    }

    static std::string HostOf(const std::string& endpoint) {
        return endpoint.substr(0, endpoint.rfind(':'));
    }

    static int PortOf(const std::string& endpoint) {
        const std::size_t colon = endpoint.rfind(':');
        if (colon == std::string::npos) {
            return 0;
        }
        int port = 0;
        for (std::size_t i = colon + 1; i < endpoint.size(); ++i) {
            port = port * 10 + (endpoint[i] - '0');
        }
        return port;
    }

    void Reap(bool block) const {
        if (pid_ <= 0 || exited_) {
            return;
        }
        int status = 0;
        const pid_t result = waitpid(pid_, &status, block ? 0 : WNOHANG);
        if (result == pid_) {
            exited_ = true;
            status_ = status;
        } else if (result < 0 && errno == ECHILD) {
            exited_ = true;  // reaped elsewhere; nothing left to wait for
        }
    }

    pid_t pid_ = -1;
    int output_ = -1;  // the simulator's stdout
    std::string pending_;
    mutable bool exited_ = false;
    mutable int status_ = 0;
    std::vector<std::string> lines_;
    std::string pty_;
    std::string tcp_;
    std::string udp_;
    std::string tibbo_;
};
