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

std::string TWatekOdbierania::Take(size_t count) {
    std::lock_guard lock(bufferMutex_);
    std::string taken = buffer_.substr(head_, count);
    head_ += taken.size();
    if (head_ == buffer_.size()) {
        buffer_.clear();
        head_ = 0;
    } else if (head_ > kCompactAt && head_ > buffer_.size() / 2) {
        buffer_.erase(0, head_);
        head_ = 0;
    }
    return taken;
}

bool TWatekOdbierania::HasData() const {
    std::lock_guard lock(bufferMutex_);
    return head_ < buffer_.size();
}

void TWatekOdbierania::Clear() {
    std::lock_guard lock(bufferMutex_);
    buffer_.clear();
    head_ = 0;
}

void TWatekOdbierania::Run() {
    NameCurrentThread("ComListener");
    char chunk[kChunkSize];
    while (!stopRequested_) {
        int got = device_.ReadSome(chunk, kChunkSize, kPassMs);
        if (got > 0) {
            Append(chunk, static_cast<size_t>(got));
        } else if (got < 0) {
            // The line is gone (a converter pulled out, the other end of a
            // pseudo-terminal closed). Keep the pace instead of spinning;
            // the caller notices by the silence.
            std::this_thread::sleep_for(std::chrono::milliseconds(kPassMs));
        }
    }
}

void TWatekOdbierania::Append(const char* bytes, size_t size) {
    {
        std::lock_guard lock(bufferMutex_);
        // Zero bytes are line noise to the text protocol; drop just them.
        for (size_t i = 0; i < size; ++i) {
            if (bytes[i] != '\0') {
                buffer_.push_back(bytes[i]);
            }
        }
        if (buffer_.size() - head_ > kMaxBuffered) {
            // The oldest bytes go; they are cut away with the next compaction.
            head_ = buffer_.size() - kMaxBuffered;
        }
        if (head_ > kCompactAt && head_ > buffer_.size() / 2) {
            buffer_.erase(0, head_);
            head_ = 0;
        }
    }
    dataArrived_.Set();
}

}  // namespace qel
