// The connection half of the scale object: owns one transport at a time,
// passes parameters to it, connects and disconnects, and runs the listener
// on which every asynchronous dialogue rests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "QELScale.h"
#include "platform/Failure.h"

namespace qel {

class CInterfejs;
class WatcherThread;
class WiFiModule;

class CVESKDevice : public virtual CVESKDeviceInterface {
public:
    CVESKDevice();
    virtual ~CVESKDevice();
    CVESKDevice(const CVESKDevice&) = delete;
    CVESKDevice& operator=(const CVESKDevice&) = delete;

    void Release() override;
    void SetConnectionKind(int32_t kind) override;
    bool SetParameter(const char* key, const char* value) override;
    const char* GetParameter(const char* key) override;
    bool Connect() override;
    bool Disconnect() override;
    bool SendSJ(int32_t timeoutMs) override;
    bool StopListener() override;
    bool UpdateFirmware(const char* path, bool sendStartCommand, bool ethernetModule,
                        ProgressCallback onProgress, StatusCallback onStatus) override;

    // Whether a dialogue is still running on the listener.
    bool IsListening() const;
    // The end of a Release made inside a callback, on the listener thread
    // once its run is over: destroys the object.
    void CompleteRelease();

    // Phase handlers, called on the listener thread. `line` includes its
    // CR LF; true ends the dialogue. The base handles the firmware phases.
    virtual bool HandleLine(const std::string& line, int32_t& remainingMs);
    virtual void HandleTimeout(int32_t& remainingMs);
    virtual bool SendNextFirmwareLine();
    virtual bool ResendFirmwareLine();
    virtual bool FinishFirmwareUpdate(int32_t status);

protected:
    bool Send(const std::string& text);
    bool SendExpect(const std::string& command, const std::string& expected, int32_t timeoutMs);
    bool SendCollect(std::string& text, int32_t count, int32_t timeoutMs);
    // Starts a dialogue: writes `command` and listens in `phase`. A running
    // unlimited listener is interrupted and resumed when the dialogue ends.
    // False, and nothing changes, when called on the listener thread (from a
    // handler or a callback), which cannot wait for itself.
    bool SendAndListen(int32_t phase, const std::string& command, int32_t timeoutMs);
    int32_t Phase() const;
    void SetPhase(int32_t phase);
    // True inside a handler or a callback of the running dialogue.
    bool OnListenerThread() const;

    CInterfejs* Transport() const { return transport_.get(); }
    // Puts `transport` in place of the current one, which is destroyed
    // (and so closed) first.
    void UseTransport(std::unique_ptr<CInterfejs> transport);
    WiFiModule* WiFi() const { return wifi_.get(); }

private:
    void DestroyTransport();
    void ReleaseUsb();

    std::unique_ptr<CInterfejs> transport_;
    std::unique_ptr<WiFiModule> wifi_;
    std::unique_ptr<WatcherThread> listener_;
    int32_t connectionKind_ = qelscale::kConnectionUsb;
    // Why the last Connect failed; none after a successful one. The text
    // GetParameter("error") returned lives in errorText_.
    Failure connectFailure_;
    std::string errorText_;
    bool usbLoaded_ = false;  // this object holds the D2XX library

    std::vector<std::string> firmwareLines_;
    int32_t firmwareLineIndex_ = -1;
    ProgressCallback firmwareProgress_ = nullptr;
    StatusCallback firmwareStatus_ = nullptr;
};

}  // namespace qel
