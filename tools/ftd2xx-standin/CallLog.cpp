#include "CallLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

namespace ftstandin {

// The variable is read at every call so that one process can point
// consecutive tests at logs of their own.
void LogLine(const std::string& line) {
    const char* path = std::getenv("FTD2XX_STANDIN_LOG");
    if (path == nullptr || *path == '\0') {
        return;
    }
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    std::string text = line + "\n";
    // O_APPEND writes of one short line land whole.
    ssize_t ignored = ::write(fd, text.data(), text.size());
    (void)ignored;
    ::close(fd);
}

}  // namespace ftstandin
