#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ModuleSerial.h"
#include "TibboSettings.h"

namespace scalesim {

// The Ethernet module's management protocol: one command per datagram, one reply per
// command, the first letter of a reply its status (A accepted, C command error,
// D denied, F failed, R rejected in this mode). Independent of the socket.
class TibboModule {
public:
    TibboModule(const TibboSettings& settings, ModuleSerial& serial);

    // The reply to one command datagram, or nothing when the module stays silent.
    std::optional<std::string> Handle(std::string_view command);

    bool Loading() const { return loading_; }
    // The identity reply: A<mac>/0000/<mode>----/<owner>/<name>.
    std::string Identity() const;

private:
    std::string HandleNormal(std::string_view command);
    std::string HandleLoading(std::string_view command);
    std::string AcceptBlock(std::string_view packet);
    std::string EndLoad();
    bool Refused(std::string_view command) const;

    TibboSettings settings_;
    ModuleSerial& serial_;
    std::string paddedMac_;
    bool loading_;
    bool loggedIn_ = false;
    bool prepared_ = false;
    int nextBlock_ = 0;
    std::string image_;
};

}  // namespace scalesim
