#include "serial/TWatekOdbierania.h"

#include "platform/SerialDevice.h"
#include "platform/ThreadName.h"

namespace qel {
namespace {

constexpr int kPassMs = 10;
constexpr int kChunkSize = 256;

}  // namespace

TWatekOdbierania::TWatekOdbierania(SerialDevice& device)
    : device_(device), thread_([this] { Run(); }) {}

TWatekOdbierania::~TWatekOdbierania() {
    stopRequested_ = true;
    thread_.join();
}

void TWatekOdbierania::Run() {
    NameCurrentThread("ComListener");
    char chunk[kChunkSize];
    while (!stopRequested_) {
        int got = device_.ReadSome(chunk, kChunkSize, kPassMs);
        if (got > 0) {
            buffer_.Append(chunk, static_cast<size_t>(got));
        } else if (got < 0) {
            // The line is gone (a converter pulled out, the other end of a
            // pseudo-terminal closed). Keep the pace instead of spinning;
            // the caller notices by the silence.
            std::this_thread::sleep_for(std::chrono::milliseconds(kPassMs));
        }
    }
}

}  // namespace qel
