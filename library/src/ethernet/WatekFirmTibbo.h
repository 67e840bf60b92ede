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
// The transport is left on UDP port 65535 afterwards.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "QELScale.h"
#include "platform/Event.h"

namespace qel {

class CInterfejs;

class WatekFirmTibbo {
public:
    WatekFirmTibbo(std::string path, CInterfejs& transport, ProgressCallback onProgress,
                   StatusCallback onStatus);
    // Waits for the run to end; Abort first to make that quick.
    ~WatekFirmTibbo();
    WatekFirmTibbo(const WatekFirmTibbo&) = delete;
    WatekFirmTibbo& operator=(const WatekFirmTibbo&) = delete;

    void Start();
    // True from Start until the status has been reported.
    bool IsRunning() const { return running_; }
    // Makes the run end at its next step, as if the module had gone silent.
    void Abort();

private:
    void Run();
    int32_t Load();
    int32_t SwitchToLoadingMode();
    int32_t SendImage();
    std::string Exchange(const std::string& command, int32_t count, uint32_t idleTimeoutMs);
    bool IsAccepted(const std::string& command, uint32_t idleTimeoutMs);
    void Pause(int milliseconds);

    const std::string path_;
    CInterfejs& transport_;
    const ProgressCallback onProgress_;
    const StatusCallback onStatus_;
    std::atomic<bool> running_{false};
    std::atomic<bool> aborted_{false};
    Event abortRequested_;
    std::thread thread_;
};

// Starts the load of the image at `path` through `transport`, which must be
// the Ethernet transport (it owns the running load). False when it is not, or
// when an earlier load on it still runs.
bool StartModuleFirmwareUpdate(const char* path, CInterfejs* transport, ProgressCallback onProgress,
                               StatusCallback onStatus);

}  // namespace qel
