#include "ethernet/ReceiverThread.h"

#include <algorithm>

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
    if (socket_.GetKind() == Socket::Kind::kDatagram) {
        // A datagram is a text of its own: it ends at its first zero byte.
        size = static_cast<size_t>(std::find(bytes, bytes + size, '\0') - bytes);
    }
    // A stream is cut into chunks at random places, so there a zero byte
    // (line noise to the text protocol) drops only itself.
    buffer_.Append(bytes, size);
}

}  // namespace qel
