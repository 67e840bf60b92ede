#include "platform/ThreadName.h"

#include <pthread.h>

namespace qel {

void NameCurrentThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

}  // namespace qel
