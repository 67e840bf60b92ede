#include "platform/ThreadName.h"

#include <pthread.h>

#include <string>

namespace qel {

void NameCurrentThread(const char* name) {
    // Linux refuses names longer than 15 bytes outright; keep their start.
    const std::string shown = std::string(name).substr(0, 15);
    pthread_setname_np(pthread_self(), shown.c_str());
}

}  // namespace qel
