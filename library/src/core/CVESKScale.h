// The scale object: the alibi memory reader, the weighing commands, the
// identity query and the WiFi settings, on top of the device's connection.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "QELScale.h"
#include "core/CVESKDevice.h"

namespace qel {

class CVESKScale : public CVESKScaleInterface, public CVESKDevice {
public:
    CVESKScale() = default;
    ~CVESKScale() override;

    DeviceInfo GetDeviceInfo() override;
    bool StartAlibiRead(ProgressCallback onProgress, StatusCallback onStatus) override;
    AlibiRecord GetAlibiRecord(int64_t index) override;
    int64_t GetAlibiRecordCount() override;
    bool SetWiFiParameter(const char* key, const char* value) override;
    const char* GetWiFiParameter(const char* key) override;
    bool SendST(int32_t timeoutMs) override;
    bool SendSZ(int32_t timeoutMs) override;
    bool SendSS(int32_t timeoutMs) override;
    bool SendSL(double value, int32_t timeoutMs) override;
    bool SendSH(double value, int32_t timeoutMs) override;
    DeviceInfo ReadSW9(int32_t timeoutMs) override;
    WeighingResult ReadSx3(int32_t timeoutMs) override;
    bool RequestSI(WeighingCallback onWeight, int32_t timeoutMs) override;
    int64_t GetAlibiLineCount() override;
    const char* GetAlibiRecordLine(int64_t index) override;
    bool EndAlibiReadAfter(int64_t recordId) override;

    // The unit code of the first unit symbol the text contains; 0 for none.
    virtual int32_t UnitCode(const char* text);

    bool HandleLine(const std::string& line, int32_t& remainingMs) override;
    void HandleTimeout(int32_t& remainingMs) override;

private:
    enum Identity { kType, kSerialNumber, kProductionDate, kText4, kRecordHeader, kText6, kText7 };

    bool HandleWeighingLine(const std::string& line);
    bool HandleAlibiLine(const std::string& line, int32_t& remainingMs);
    void HandleAlibiTimeout(int32_t& remainingMs);
    void SwitchToTransferSpeed();
    bool HandleRecordLine(const std::string& line);
    bool IsEndRecord(double recordNumber) const;
    void FinishAlibiRead();
    void StopAlibiListener();

    std::atomic<ProgressCallback> onProgress_{nullptr};
    std::atomic<StatusCallback> onStatus_{nullptr};
    std::atomic<WeighingCallback> onWeight_{nullptr};
    bool retried_ = false;
    std::vector<std::string> recordLines_;
    int64_t recordCount_ = 0;
    // Set from the caller's thread or a callback, read by the listener.
    std::atomic<int64_t> endAfterRecord_{0};
    std::string recordLineSlot_;  // backs the text of the last GetAlibiRecordLine
    std::array<std::string, 10> fieldSlots_;
    std::array<std::string, 7> identity_;
    std::string savedBaud_;
    std::string savedParity_;
};

}  // namespace qel
