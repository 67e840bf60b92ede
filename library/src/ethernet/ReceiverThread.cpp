#include "ethernet/ReceiverThread.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/Socket.h"
#include "platform/ThreadName.h"

namespace qel {
namespace {

// How long one wait on the socket lasts; bounds how late a stop request is
// noticed where the system does not wake the wait itself.
constexpr int kPassMs = 100;

}  // namespace

CEthernet::ReceiverThread::ReceiverThread(CEthernet& owner, Socket& socket, uint32_t moduleAddress)
    : owner_(owner), socket_(socket), moduleAddress_(moduleAddress), thread_([this] { Run(); }) {}

CEthernet::ReceiverThread::~ReceiverThread() {
    Stop();
}

void CEthernet::ReceiverThread::Stop() {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
    socket_.Interrupt();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string CEthernet::ReceiverThread::Take(std::chrono::milliseconds wait) {
    auto takeAll = [this] {
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, std::string());
    };
    std::string taken = takeAll();
    if (!taken.empty()) {
        return taken;
    }
    arrived_.Reset();
    // Look again after the reset: a chunk that landed in between must still
    // be taken now rather than after a wait that nothing will end.
    taken = takeAll();
    if (!taken.empty()) {
        return taken;
    }
    arrived_.Wait(wait);
    return takeAll();
}

void CEthernet::ReceiverThread::Run() {
    NameCurrentThread("EthernetReceiver");
    char buffer[kBufferSize];
    while (!stopRequested_) {
        Ipv4Endpoint source;
        int got = socket_.Receive(buffer, kBufferSize, &source, kPassMs);
        if (got == Socket::kEnded) {
            // The connection is gone (peer closed or reset it): nothing more
            // can come, and polling a dead stream would only spin.
            return;
        }
        if (got <= 0) {
            continue;
        }
        if (owner_.routing_ == kBroadcast) {
            owner_.AddResponder(FormatIpv4(source.address));
        }
        if (IsFromModule(source)) {
            Append(buffer, static_cast<size_t>(got));
        }
    }
}

// A stream has the one peer it connected to.
bool CEthernet::ReceiverThread::IsFromModule(const Ipv4Endpoint& source) {
    if (socket_.GetKind() == Socket::Kind::kStream) {
        return true;
    }
    if (owner_.routing_ != kBroadcast) {
        return source.address == moduleAddress_;
    }
    if (!firstResponder_) {
        firstResponder_ = source.address;
    }
    return source.address == *firstResponder_;
}

void CEthernet::ReceiverThread::Append(const char* bytes, size_t size) {
    {
        std::lock_guard lock(mutex_);
        if (socket_.GetKind() == Socket::Kind::kDatagram) {
            // A datagram is a text of its own: it ends at its first zero byte.
            pending_.append(bytes, std::find(bytes, bytes + size, '\0'));
        } else {
            // A stream is cut into chunks at random places, so a zero byte
            // (line noise to the text protocol) drops only itself.
            std::copy_if(bytes, bytes + size, std::back_inserter(pending_),
                         [](char c) { return c != '\0'; });
        }
        if (pending_.size() > kMaxPending) {
            pending_.erase(0, pending_.size() - kMaxPending);
        }
    }
    arrived_.Set();
}

}  // namespace qel
