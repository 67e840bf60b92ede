// The firmware load of the Ethernet module, on a thread of its own ("WFT").
// It switches the transport to the module's management port (UDP 65535),
// brings the module into its loading mode, sends the image in numbered
// 128-byte blocks, ends the load and checks that the module is back in its
// normal mode. It reports through the caller's callbacks only, on its own
// thread; every run ends with exactly one status:
//   2 done (the transport is closed), 5 image unreadable or a block answered
//   with neither "A" nor "F", 6 no loading mode after the switch, 7 "L" not
//   accepted, 8 "E" not accepted, 9 "Q" not accepted, 10 no normal mode after
//   the end, 12 a block refused.
// The one exception is a run abandoned from inside its own callback (the
// caller released the scale there): it reports nothing more.
// The transport is left on UDP port 65535 afterwards.
#pragma once

#include <memory>
#include <string>
#include <thread>

#include "QELScale.h"

namespace qel {

class CInterfejs;

class WatekFirmTibbo {
public:
    WatekFirmTibbo(std::string path, CInterfejs& transport, ProgressCallback onProgress,
                   StatusCallback onStatus);
    // Abandons the run (see Abandon).
    ~WatekFirmTibbo();
    WatekFirmTibbo(const WatekFirmTibbo&) = delete;
    WatekFirmTibbo& operator=(const WatekFirmTibbo&) = delete;

    void Start();
    // True from Start until the status has been reported.
    bool IsRunning() const;
    // Makes the run end at its next step, as if the module had gone silent,
    // and waits until it has reported its status and ended. Called from
    // inside one of the run's own callbacks it cannot wait for itself: the
    // run then ends when the callback returns, without another callback and
    // without touching the transport again, which its caller is taking away.
    void Abandon();

private:
    class Run;

    // Shared with the thread, which may outlive this object when the object
    // is destroyed from inside a callback.
    std::shared_ptr<Run> run_;
    std::thread thread_;
};

// Starts the load of the image at `path` through `transport`, which must be
// the Ethernet transport (it owns the running load). False when it is not, or
// when an earlier load on it still runs.
bool StartModuleFirmwareUpdate(const char* path, CInterfejs* transport, ProgressCallback onProgress,
                               StatusCallback onStatus);

// Abandons a load running through `transport` (see WatekFirmTibbo::Abandon);
// nothing for another transport or when no load runs.
void AbandonModuleFirmwareUpdate(CInterfejs* transport);

}  // namespace qel
