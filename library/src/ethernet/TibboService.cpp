#include "ethernet/TibboService.h"

#include <algorithm>
#include <chrono>

#include "platform/ThreadName.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

constexpr int kShortWaitMs = 50;  // settings and sessions
constexpr int kLongWaitMs = 200;  // identity and version
constexpr int kPassMs = 100;
constexpr int kSendStallMs = 1000;

}  // namespace

Outcome<std::unique_ptr<CEthernet::TibboService>> CEthernet::TibboService::Start(
    uint32_t moduleAddress, bool broadcast) {
    Outcome<std::unique_ptr<TibboService>> started;
    Outcome<std::unique_ptr<Socket>> created = Socket::Create(Socket::Kind::kDatagram);
    if (!created.value) {
        started.failure = std::move(created.failure);
        return started;
    }
    if (Failure bound = created.value->BindAnyPort(); bound.Failed()) {
        started.failure = std::move(bound);
        return started;
    }
    Ipv4Endpoint peer{moduleAddress, static_cast<uint16_t>(CEthernet::kModulePort)};
    started.value.reset(new TibboService(std::move(created.value), peer, broadcast));
    return started;
}

CEthernet::TibboService::TibboService(std::unique_ptr<Socket> socket, Ipv4Endpoint peer,
                                      bool broadcast)
    : socket_(std::move(socket)), peer_(peer), broadcast_(broadcast), thread_([this] { Run(); }) {}

CEthernet::TibboService::~TibboService() {
    StopService();
}

void CEthernet::TibboService::StopService() {
    std::lock_guard lock(stopMutex_);
    stopRequested_ = true;
    socket_->Interrupt();
    if (thread_.joinable()) {
        thread_.join();
    }
}

std::string CEthernet::TibboService::Command(const std::string& command, int waitMs) {
    std::lock_guard lock(commandMutex_);
    Ipv4Endpoint peer;
    bool toBroadcast = false;
    {
        // A reply that an earlier command did not wait for must not be
        // judged as the answer to this one.
        std::lock_guard replyLock(replyMutex_);
        reply_.clear();
        peer = peer_;
        toBroadcast = broadcast_ && !peerAnswered_;
    }
    replyEvent_.Reset();
    // A lost command shows as a missing reply, which the caller handles.
    socket_->SendTo(command, peer, toBroadcast, kSendStallMs);
    replyEvent_.Wait(std::chrono::milliseconds(waitMs));
    std::lock_guard replyLock(replyMutex_);
    return reply_;
}

bool CEthernet::TibboService::IsAccepted(const std::string& command) {
    return Command(command, kShortWaitMs) == "A";
}

bool CEthernet::TibboService::SetModuleBaud(uint32_t baudIndex) {
    return IsAccepted("PBR" + FormatInt(baudIndex));
}

bool CEthernet::TibboService::SetModuleParity(uint32_t parityIndex) {
    return IsAccepted("PPR" + FormatInt(parityIndex));
}

bool CEthernet::TibboService::BeginSession() {
    return IsAccepted("L");
}

bool CEthernet::TibboService::EndSession() {
    return IsAccepted("O");
}

int32_t CEthernet::TibboService::GetModuleBaud() {
    BeginSession();
    const std::string reply = Command("GBR", kShortWaitMs);
    int32_t baud = 0;
    if (reply.size() >= 2 && reply[1] >= '0' && reply[1] <= '7') {
        baud = CInterfejs::kBaudRates[reply[1] - '0'];
    }
    EndSession();
    return baud;
}

std::string CEthernet::TibboService::QueryIdentity() {
    return Command("X", kLongWaitMs);
}

std::string CEthernet::TibboService::QueryFirmwareVersion() {
    const std::string reply = Command("V", kLongWaitMs);
    return reply.size() > 1 ? reply.substr(1) : std::string();
}

void CEthernet::TibboService::Run() {
    NameCurrentThread("TibboServiceReceiver");
    char buffer[kBufferSize];
    while (!stopRequested_) {
        Ipv4Endpoint source;
        int got = socket_->Receive(buffer, kBufferSize, &source, kPassMs);
        if (got == Socket::kEnded) {
            return;
        }
        if (got <= 0) {
            continue;
        }
        {
            std::lock_guard lock(replyMutex_);
            if (!IsFromModule(source)) {
                continue;
            }
            reply_.assign(buffer, std::find(buffer, buffer + got, '\0'));
        }
        replyEvent_.Set();
    }
}

// Called with replyMutex_ held.
bool CEthernet::TibboService::IsFromModule(const Ipv4Endpoint& source) {
    if (source.port != CEthernet::kModulePort) {
        return false;
    }
    if (broadcast_ && !peerAnswered_) {
        peer_ = source;
        peerAnswered_ = true;
    }
    return source.address == peer_.address;
}

}  // namespace qel
