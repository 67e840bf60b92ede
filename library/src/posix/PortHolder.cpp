#include "platform/PortHolder.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "text/TextUtil.h"

namespace qel {
namespace fs = std::filesystem;
namespace {

bool IsAlive(int64_t pid) {
    // EPERM: it exists, it only belongs to someone else.
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

// /proc/locks names the locked file by its file system's device, in
// hexadecimal, and its inode: "1: FLOCK ADVISORY WRITE 4242 00:19:6 0 EOF".
// Waiting requests ("1: -> FLOCK ...") hold nothing.
std::optional<int64_t> HolderFromProcLocks(const struct stat& node) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, pid, file;
        fields >> number >> kind >> mode >> access >> pid >> file;
        if (kind == "->" || file != wanted) {
            continue;
        }
        const std::optional<int32_t> holder = ParseInt32(pid);
        if (holder && IsAlive(*holder)) {
            return *holder;
        }
    }
    return std::nullopt;
}

// A lock file holds the pid as text ("      4242\n"), or in old programs as a
// binary int.
std::optional<int64_t> PidInLockFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string contents((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (std::optional<int32_t> pid = ParseInt32(Trim(contents))) {
        return *pid;
    }
    if (contents.size() == sizeof(int32_t)) {
        int32_t pid = 0;
        contents.copy(reinterpret_cast<char*>(&pid), sizeof pid);
        return pid;
    }
    return std::nullopt;
}

std::optional<int64_t> HolderFromLockFiles(const fs::path& device,
                                           const std::vector<std::string>& lockDirs) {
    const std::string name = "LCK.." + device.filename().string();
    for (const auto& dir : lockDirs) {
        std::error_code error;
        const fs::path file = fs::path(dir) / name;
        if (!fs::is_regular_file(file, error)) {
            continue;
        }
        std::optional<int64_t> pid = PidInLockFile(file);
        if (pid && IsAlive(*pid)) {
            return pid;
        }
    }
    return std::nullopt;
}

// The entries of `dir`, none when it cannot be listed. Processes end while
// /proc is walked, so every step may fail; none of that may escape.
std::vector<fs::path> Entries(const fs::path& dir) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::directory_iterator it(dir, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        entries.push_back(it->path());
    }
    return entries;
}

// What fuser does, within what this user may see: another process's open
// files are visible only to its own user (and root).
std::optional<int64_t> HolderFromOpenFiles(const fs::path& device) {
    const std::string self = FormatInt(::getpid());
    for (const fs::path& process : Entries("/proc")) {
        const std::string pid = process.filename().string();
        if (!ParseInt32(pid) || pid == self) {
            continue;
        }
        for (const fs::path& fd : Entries(process / "fd")) {
            std::error_code linkError;
            if (fs::read_symlink(fd, linkError) == device) {
                return *ParseInt32(pid);
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::string> DefaultLockDirs() {
    return {"/run/lock", "/var/lock"};
}

std::optional<int64_t> FindPortHolder(const std::string& path,
                                      const std::vector<std::string>& lockDirs) {
    std::error_code error;
    const fs::path device = fs::canonical(path, error);
    struct stat node {};
    if (error || ::stat(device.c_str(), &node) != 0) {
        return std::nullopt;
    }
    if (std::optional<int64_t> pid = HolderFromProcLocks(node)) {
        return pid;
    }
    if (std::optional<int64_t> pid = HolderFromLockFiles(device, lockDirs)) {
        return pid;
    }
    return HolderFromOpenFiles(device);
}

}  // namespace qel
