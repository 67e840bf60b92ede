// The transport through the scale's Ethernet module, a Tibbo module that
// bridges the network and the scale's serial line. The scale's line protocol
// travels over one TCP connection or as UDP datagrams to one IPv4 address and
// port. Everything that concerns the module itself (the baud rate and parity
// of its serial side, its identity, its firmware) goes to its management
// port, UDP 65535: through the service channel TibboService when the data
// port is another one, or through this transport itself when the data port
// is 65535.
//
// Keys: "protokol" ("tcp", "udp"), "routing" ("unicast", "broadcast"), "ip",
// "port", "baud" and "parity" (set on the module), and to read "broadcastip",
// "port", "ip", "baud", "owner", "mac", "firmVer".
//
// One thread drives the transport at a time, but a module firmware update
// runs on its own thread over it; the open connection's parts are therefore
// shared safely, and closing from one thread while another exchanges only
// makes that exchange fail. An Open that is still connecting holds up no
// other call, and a Close ends it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "QELScale.h"
#include "transport/CInterfejs.h"

namespace qel {

class WatekFirmTibbo;

class CEthernet : public CInterfejs {
public:
    class ReceiverThread;
    class TibboService;

    static constexpr int32_t kModulePort = 65535;

    CEthernet();
    ~CEthernet() override;
    CEthernet(const CEthernet&) = delete;
    CEthernet& operator=(const CEthernet&) = delete;

    // Set the module's serial side through the service channel; false
    // without one.
    bool ApplyBaud(bool accepted) override;
    bool ApplyParity(bool accepted) override;
    // Throws std::invalid_argument for a "port" value that is not a whole
    // number; every other failure is a false result.
    bool SetParam(const char* key, const char* value) override;
    const char* GetParam(const char* key) override;
    bool Open() override;
    bool Close() override;
    bool IsOpen() override;
    // Over TCP the text goes up to its first zero byte; over UDP it is one
    // datagram of all its bytes. A failed send closes the transport.
    bool Write(std::string data) override;
    // Hands over everything received so far (`count` is not a limit); waits
    // up to 100 ms for an arrival when nothing is there. False with count 0
    // when nothing came or the transport is not open.
    bool Read(std::string& out, int32_t& count) override;
    bool SetReadTimeout(int32_t ms) override;
    // Drops the pending text: what the module sent and nobody took.
    void DiscardInput() override;

    // Starts the firmware load of the module from the image at `path` on a
    // thread of its own (WatekFirmTibbo). False while an earlier load still
    // runs. Destroying the transport abandons a running load.
    bool StartModuleUpdate(std::string path, ProgressCallback onProgress, StatusCallback onStatus);
    // Ends a running load and waits for its status (WatekFirmTibbo::Abandon).
    void AbandonModuleUpdate();

    // Why the last Open, Close or Write failed, for a developer to see.
    std::string LastError() const;

private:
    struct Link;

    static constexpr int32_t kUnicast = 0;
    static constexpr int32_t kBroadcast = 1;
    static constexpr int32_t kUdp = 0;
    static constexpr int32_t kTcp = 1;

    // What Open reads, taken under the lock at its start.
    struct LinkSettings {
        std::string ip;
        int32_t protocol = kTcp;
        int32_t port = 0;
        bool broadcast = false;
    };

    std::shared_ptr<Link> MakeLink(const LinkSettings& settings);
    // Lets Close end the connect of `link`, which Open is making.
    void ExposeOpening(const std::shared_ptr<Link>& link);
    // Makes `link` the open connection; false when Close came first.
    bool Publish(const std::shared_ptr<Link>& link);
    std::shared_ptr<Link> CurrentLink() const;
    // Stops the threads of `link` and forgets it if it is still the current.
    void DropLink(const std::shared_ptr<Link>& link);
    void SetLastError(std::string text);

    bool SetPort(const char* value);
    std::string IpText() const;
    std::string Identity();
    std::string FirmwareVersion();

    void AddResponder(std::string address);
    void ClearResponders();
    std::string ResponderLines() const;

    // Settings, read by Open (protocol and ip), Write and the receiving thread
    // (routing).
    std::atomic<int32_t> routing_{kUnicast};
    std::atomic<int32_t> protocol_{kTcp};
    std::atomic<int32_t> port_{0};

    mutable std::mutex respondersMutex_;
    std::vector<std::string> responders_;

    // One Open at a time. It is held through a connect of up to 10 s, so
    // nothing but Open takes it.
    std::mutex openMutex_;
    mutable std::mutex mutex_;  // ip_, link_, opening_, lastError_
    std::string ip_ = "0";
    std::shared_ptr<Link> link_;
    std::shared_ptr<Link> opening_;  // the connection Open is making
    std::atomic<bool> connected_{false};
    std::string lastError_;

    std::mutex updateMutex_;
    std::unique_ptr<WatekFirmTibbo> moduleUpdate_;
};

}  // namespace qel
