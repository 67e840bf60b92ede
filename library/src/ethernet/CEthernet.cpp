#include "ethernet/CEthernet.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "ethernet/ReceiverThread.h"
#include "ethernet/TibboService.h"
#include "ethernet/WatekFirmTibbo.h"
#include "platform/Socket.h"
#include "text/TextUtil.h"

namespace qel {
namespace {

constexpr auto kReadWait = std::chrono::milliseconds(100);
constexpr auto kVersionReplyWait = std::chrono::milliseconds(100);
constexpr int kConnectTimeoutMs = 10000;
// A peer that takes nothing for this long is stuck; the send fails.
constexpr int kSendStallMs = 5000;
// Broadcast replies are listed one per datagram; a flood must not grow the
// list without end.
constexpr size_t kMaxResponders = 4096;

bool Is(const char* key, const char* name) {
    return std::strcmp(key, name) == 0;
}

// The owner name is the field between the identity's last two '/'.
std::string OwnerOf(const std::string& identity) {
    const size_t last = identity.rfind('/');
    if (last == std::string::npos) {
        return std::string();
    }
    const std::string head = identity.substr(0, last);
    const size_t previous = head.rfind('/');
    return previous == std::string::npos ? head : head.substr(previous + 1);
}

// The MAC text follows the status letter, up to the first '/'.
std::string MacOf(const std::string& identity) {
    const size_t slash = identity.find('/');
    if (slash == std::string::npos) {
        return std::string();
    }
    return slash <= 1 ? std::string() : identity.substr(1, slash - 1);
}

}  // namespace

// The parts of one open connection. They are shared, so that an exchange
// running on another thread keeps them alive while Close takes them away.
struct CEthernet::Link {
    std::unique_ptr<Socket> socket;
    Ipv4Endpoint destination;
    std::unique_ptr<ReceiverThread> receiver;
    std::unique_ptr<TibboService> service;  // none on the management port

    void Stop() {
        if (service) {
            service->StopService();
        }
        if (receiver) {
            receiver->Stop();
        }
    }
};

CEthernet::CEthernet() {
    baud_ = 9600;
    parity_ = 'N';
}

CEthernet::~CEthernet() {
    AbandonModuleUpdate();
    Close();
}

bool CEthernet::ApplyBaud(bool accepted) {
    // A refused rate is not sent again as the stored one: the caller asked
    // for something the module does not run, and must hear so.
    const auto* rate = std::find(std::begin(kBaudRates), std::end(kBaudRates), baud_);
    std::shared_ptr<Link> link = CurrentLink();
    if (!accepted || rate == std::end(kBaudRates) || !link || !link->service) {
        return false;
    }
    return link->service->SetModuleBaud(static_cast<uint32_t>(rate - std::begin(kBaudRates)));
}

bool CEthernet::ApplyParity(bool accepted) {
    const uint32_t index = parity_ == 'E' ? 1 : parity_ == 'O' ? 2 : 0;
    std::shared_ptr<Link> link = CurrentLink();
    if (!accepted || !link || !link->service) {
        return false;
    }
    return link->service->SetModuleParity(index);
}

bool CEthernet::SetParam(const char* key, const char* value) {
    if (key == nullptr || value == nullptr) {
        return false;
    }
    if (Is(key, "protokol")) {
        if (!Is(value, "tcp") && !Is(value, "udp")) {
            return false;
        }
        protocol_ = Is(value, "tcp") ? kTcp : kUdp;
        return true;
    }
    if (Is(key, "routing")) {
        if (Is(value, "unicast")) {
            routing_ = kUnicast;
            return true;
        }
        if (Is(value, "broadcast")) {
            routing_ = kBroadcast;
            protocol_ = kUdp;  // replies from many modules need datagrams
            return true;
        }
        return false;
    }
    if (Is(key, "ip")) {
        std::lock_guard lock(mutex_);
        ip_ = value;
        return true;
    }
    if (Is(key, "port")) {
        return SetPort(value);
    }
    if (Is(key, "baud")) {
        return SetBaud(ParseInt32(value).value_or(-1));
    }
    if (Is(key, "parity")) {
        if (!Is(value, "E") && !Is(value, "O") && !Is(value, "N")) {
            return false;
        }
        return SetParity(value[0]);
    }
    return false;
}

bool CEthernet::SetPort(const char* value) {
    std::optional<int32_t> port = ParseInt32(value);
    if (!port) {
        // Callers get the conversion error, as for any malformed number they
        // hand the library.
        throw std::invalid_argument(std::string("'") + value + "' is not a valid integer value");
    }
    // A port beyond 16 bits would silently become another port on the wire.
    if (*port <= 0 || *port > 65535) {
        return false;
    }
    port_ = *port;
    return true;
}

const char* CEthernet::GetParam(const char* key) {
    if (key == nullptr) {
        return nullptr;
    }
    if (Is(key, "broadcastip")) {
        return ReturnParam(ResponderLines());
    }
    if (Is(key, "port")) {
        return ReturnParam(FormatInt(port_));
    }
    if (Is(key, "ip")) {
        return ReturnParam(IpText());
    }
    if (Is(key, "baud")) {
        std::shared_ptr<Link> link = CurrentLink();
        const int32_t baud = link && link->service ? link->service->GetModuleBaud() : 0;
        return ReturnParam(FormatInt(baud));
    }
    if (Is(key, "owner")) {
        const std::string identity = Identity();
        return ReturnParam(identity.empty() ? "?" : OwnerOf(identity));
    }
    if (Is(key, "mac")) {
        const std::string identity = Identity();
        return ReturnParam(identity.empty() ? "?" : MacOf(identity));
    }
    if (Is(key, "firmVer")) {
        return ReturnParam(FirmwareVersion());
    }
    return nullptr;
}

std::string CEthernet::IpText() const {
    std::lock_guard lock(mutex_);
    return ip_;
}

std::string CEthernet::Identity() {
    std::shared_ptr<Link> link = CurrentLink();
    return link && link->service ? link->service->QueryIdentity() : std::string();
}

std::string CEthernet::FirmwareVersion() {
    std::shared_ptr<Link> link = CurrentLink();
    if (link && link->service) {
        return link->service->QueryFirmwareVersion();
    }
    if (protocol_ != kUdp || port_ != kModulePort) {
        return "?";
    }
    // This transport is the management channel itself.
    Write("V");
    std::this_thread::sleep_for(kVersionReplyWait);
    std::string reply;
    int32_t count = 50;
    Read(reply, count);
    return reply.size() > 1 ? reply.substr(1) : std::string();
}

// The connect takes up to 10 s. The state lock is not held through it, so
// that Read, Write, GetParam and Close on other threads go on meanwhile; a
// Close ends the connect, and the Open fails.
bool CEthernet::Open() {
    std::lock_guard opening(openMutex_);
    LinkSettings settings;
    {
        std::lock_guard lock(mutex_);
        if (link_) {
            return true;
        }
        settings = LinkSettings{ip_, protocol_, port_, routing_ == kBroadcast};
    }
    Outcome<std::shared_ptr<Link>> made;
    try {
        made = MakeLink(settings);
    } catch (const std::system_error& error) {
        // The receiving or service thread could not be started.
        made.failure =
            Failure(FailureCode::kOther, settings.ip + ": cannot start a thread (" +
                                             SystemErrorText(error.code().value()) + ")");
    }
    if (made.value && Publish(made.value)) {
        ClearFailure();
        return true;
    }
    if (made.value) {
        made.value->Stop();
        made.failure = Failure(FailureCode::kClosed, settings.ip + ": closed while connecting");
    }
    {
        std::lock_guard lock(mutex_);
        opening_.reset();
    }
    Fail("Ethernet open", std::move(made.failure));
    return false;
}

// A link that fails half-made stops what it started as it goes.
Outcome<std::shared_ptr<CEthernet::Link>> CEthernet::MakeLink(const LinkSettings& settings) {
    Outcome<std::shared_ptr<Link>> made;
    std::optional<uint32_t> address = ParseIpv4(settings.ip);
    if (!address || *address == 0) {
        // inet_addr would make a text that is no address 255.255.255.255, a
        // broadcast; and 0.0.0.0 (the "0" of a new transport) would reach
        // this machine itself. Neither is the module.
        made.failure = Failure(FailureCode::kInvalid, "'" + settings.ip + "': not an IPv4 address");
        return made;
    }
    auto link = std::make_shared<Link>();
    const auto kind = settings.protocol == kTcp ? Socket::Kind::kStream : Socket::Kind::kDatagram;
    Outcome<std::unique_ptr<Socket>> created = Socket::Create(kind);
    if (!created.value) {
        made.failure = std::move(created.failure);
        return made;
    }
    link->socket = std::move(created.value);
    ExposeOpening(link);
    link->destination = Ipv4Endpoint{*address, static_cast<uint16_t>(settings.port)};
    if (settings.broadcast) {
        ClearResponders();
    }
    made.failure = kind == Socket::Kind::kStream
                       ? link->socket->Connect(link->destination, kConnectTimeoutMs)
                       : link->socket->BindAnyPort();
    if (made.failure.Failed()) {
        return made;
    }
    link->receiver = std::make_unique<ReceiverThread>(*this, *link->socket, *address);
    if (settings.port != kModulePort) {
        Outcome<std::unique_ptr<TibboService>> service =
            TibboService::Start(*address, settings.broadcast);
        if (!service.value) {
            link->Stop();
            made.failure = std::move(service.failure);
            return made;
        }
        link->service = std::move(service.value);
    }
    made.value = std::move(link);
    return made;
}

void CEthernet::ExposeOpening(const std::shared_ptr<Link>& link) {
    std::lock_guard lock(mutex_);
    opening_ = link;
}

bool CEthernet::Publish(const std::shared_ptr<Link>& link) {
    std::lock_guard lock(mutex_);
    if (opening_ != link) {
        return false;
    }
    opening_.reset();
    link_ = link;
    connected_ = true;
    return true;
}

bool CEthernet::Close() {
    std::shared_ptr<Link> link;
    {
        std::lock_guard lock(mutex_);
        link = std::move(link_);
        connected_ = false;
        if (opening_) {
            opening_->socket->Interrupt();  // ends a connect in progress
            opening_.reset();
        }
    }
    if (!link) {
        return true;
    }
    bool closed = true;
    // A datagram socket has no connection to end.
    if (link->socket->GetKind() == Socket::Kind::kStream) {
        if (Failure ended = link->socket->ShutdownSend(); ended.Failed()) {
            Fail("Ethernet close", std::move(ended));
            closed = false;
        }
    }
    link->Stop();
    return closed;
}

bool CEthernet::IsOpen() {
    return connected_;
}

bool CEthernet::Write(std::string data) {
    std::shared_ptr<Link> link = CurrentLink();
    if (!link) {
        Fail("Ethernet write", Failure(FailureCode::kClosed, IpText() + ": not open"));
        return false;
    }
    Failure sent;
    if (link->socket->GetKind() == Socket::Kind::kStream) {
        const std::string_view text(data.c_str());  // up to the first zero byte
        sent = link->socket->SendAll(text, kSendStallMs);
    } else {
        const bool broadcast = routing_ == kBroadcast;
        if (broadcast) {
            ClearResponders();  // the list answers this datagram
        }
        sent = link->socket->SendTo(data, link->destination, broadcast, kSendStallMs);
    }
    if (sent.Failed()) {
        Fail("Ethernet write", std::move(sent));
        DropLink(link);  // the caller must Open again
        return false;
    }
    return true;
}

bool CEthernet::Read(std::string& out, int32_t& count) {
    std::shared_ptr<Link> link = CurrentLink();
    if (link) {
        out = link->receiver->Buffer().Take(std::string::npos, kReadWait);
    } else {
        // Keep the pace of an open transport, so that polling loops over a
        // closed one do not spin.
        out.clear();
        std::this_thread::sleep_for(kReadWait);
    }
    count = static_cast<int32_t>(out.size());
    return count > 0;
}

bool CEthernet::SetReadTimeout(int32_t /*ms*/) {
    return false;
}

void CEthernet::DiscardInput() {
    if (std::shared_ptr<Link> link = CurrentLink()) {
        link->receiver->Buffer().Clear();
    }
}

bool CEthernet::StartModuleUpdate(std::string path, ProgressCallback onProgress,
                                  StatusCallback onStatus) {
    std::lock_guard lock(updateMutex_);
    if (moduleUpdate_ && moduleUpdate_->IsRunning()) {
        return false;  // two loads over one transport would take each other's replies
    }
    moduleUpdate_.reset();
    try {
        moduleUpdate_ =
            std::make_unique<WatekFirmTibbo>(std::move(path), *this, onProgress, onStatus);
        moduleUpdate_->Start();
    } catch (const std::system_error&) {
        moduleUpdate_.reset();
        return false;
    }
    return true;
}

void CEthernet::AbandonModuleUpdate() {
    std::unique_ptr<WatekFirmTibbo> update;
    {
        std::lock_guard lock(updateMutex_);
        update = std::move(moduleUpdate_);
    }
    update.reset();  // abandons the run and waits for it
}

std::shared_ptr<CEthernet::Link> CEthernet::CurrentLink() const {
    std::lock_guard lock(mutex_);
    return link_;
}

void CEthernet::DropLink(const std::shared_ptr<Link>& link) {
    {
        std::lock_guard lock(mutex_);
        if (link_ == link) {
            link_.reset();
            connected_ = false;
        }
    }
    link->Stop();
}

void CEthernet::AddResponder(std::string address) {
    std::lock_guard lock(respondersMutex_);
    if (responders_.size() < kMaxResponders) {
        responders_.push_back(std::move(address));
    }
}

void CEthernet::ClearResponders() {
    std::lock_guard lock(respondersMutex_);
    responders_.clear();
}

std::string CEthernet::ResponderLines() const {
    std::lock_guard lock(respondersMutex_);
    std::string lines;
    for (const auto& address : responders_) {
        lines += address;
        lines += "\r\n";
    }
    return lines;
}

}  // namespace qel
