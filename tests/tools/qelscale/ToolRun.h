#pragma once

// Runs the qelscale tool as a child process and gives back its exit code and
// what it wrote, for tests that watch it as a script would.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

struct ToolOptions {
    // Standard error on a pseudo-terminal instead of a pipe.
    bool stderrTerminal = false;
    // NAME=value pairs added to the environment.
    std::vector<std::string> environment;
    std::chrono::seconds limit{60};
};

inline std::string QelscalePath() {
    return QELSCALE_TOOL_PATH;
}

inline ToolResult RunTool(std::vector<std::string> args, const ToolOptions& options = {},
                          std::string path = QelscalePath()) {
    ToolResult result;
    int outPipe[2];
    int errFds[2];  // [0] read end, [1] the child's end
    if (pipe2(outPipe, O_CLOEXEC) != 0) {
        return result;
    }
    if (options.stderrTerminal) {
        if (openpty(&errFds[0], &errFds[1], nullptr, nullptr, nullptr) != 0) {
            return result;
        }
        fcntl(errFds[0], F_SETFD, FD_CLOEXEC);
        fcntl(errFds[1], F_SETFD, FD_CLOEXEC);
    } else if (pipe2(errFds, O_CLOEXEC) != 0) {
        return result;
    }
    std::vector<std::string> all{path};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> environment = options.environment;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errFds[1], STDERR_FILENO);
        for (std::string& pair : environment) {
            putenv(pair.data());
        }
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errFds[1]);
    const auto end = std::chrono::steady_clock::now() + options.limit;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errFds[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < end) {
        if (poll(fds, 2, 100) <= 0) {
            continue;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(count));
            } else {  // end of file, or EIO once a pseudo-terminal's last writer has gone
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) {
            close(fd.fd);
        }
    }
    if (pid < 0) {
        return result;
    }
    if (open > 0) {
        kill(pid, SIGKILL);  // over its time limit
    }
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    }
    return result;
}

// The lines of a text, without their line ends ("\n" or "\r\n").
inline std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}
