// Feeds arbitrary bytes, as if the scale sent them, to the line listener and
// the scale's reply handlers, then parses whatever record lines were stored.
//
// The first input byte picks the dialogue; the rest arrives in chunks whose
// sizes also come from the input, so line ends fall anywhere.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/CVESKScale.h"
#include "transport/CInterfejs.h"

namespace {

// A transport that hands out the fuzz input and swallows what is written.
// When the input is used up it answers silence at once, so the listener's
// budget runs out in a few cycles instead of seconds.
class ScriptedTransport : public qel::CInterfejs {
public:
    ScriptedTransport(const uint8_t* data, size_t size)
        : bytes_(reinterpret_cast<const char*>(data), size) {
        baud_ = 9600;
        parity_ = 'N';
    }
    bool ApplyBaud(bool accepted) override { return accepted; }
    bool ApplyParity(bool accepted) override { return accepted; }
    bool SetParam(const char* key, const char* value) override {
        std::string k = key;
        if (k == "baud")
            return SetBaud(std::atoi(value));
        if (k == "parity")
            return value[0] != '\0' && value[1] == '\0' && SetParity(value[0]);
        return false;
    }
    bool Open() override { return open_ = true; }
    bool Close() override {
        open_ = false;
        return true;
    }
    bool IsOpen() override { return open_; }
    bool Write(std::string) override { return open_; }
    bool Read(std::string& out, int32_t& count) override {
        if (offset_ >= bytes_.size() || count <= 0) {
            out.clear();
            count = 0;
            return false;
        }
        // The byte at the chunk's start also sets the chunk's length.
        size_t chunk = 1 + static_cast<uint8_t>(bytes_[offset_]) % 48;
        chunk = std::min({chunk, bytes_.size() - offset_, static_cast<size_t>(count)});
        out = bytes_.substr(offset_, chunk);
        offset_ += chunk;
        count = static_cast<int32_t>(chunk);
        return true;
    }
    bool SetReadTimeout(int32_t) override { return true; }
    // One chunk per listener cycle, and no waiting for the deadline: a silent
    // cycle costs nothing here.
    bool ReadLine(std::string& out, const int32_t& maxBytes, uint32_t) override {
        int32_t count = maxBytes;
        Read(out, count);
        return out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0;
    }

private:
    std::string bytes_;
    size_t offset_ = 0;
    bool open_ = false;
};

class FuzzedScale : public qel::CVESKScale {
public:
    using CVESKScale::UseTransport;
};

void IgnoreProgress(double) {}
void IgnoreStatus(int32_t) {}
void IgnoreWeight(WeighingResult) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t selector = data[0];
    auto scale = std::make_unique<FuzzedScale>();
    scale->UseTransport(std::make_unique<ScriptedTransport>(data + 1, size - 1));
    CVESKDeviceInterface* device = scale.get();
    device->Connect();
    switch (selector % 4) {
        case 0:
            scale->StartAlibiRead(IgnoreProgress, IgnoreStatus);
            break;
        case 1:
            // A read that ends once it reaches a record number from the selector's high bits.
            scale->StartAlibiRead(IgnoreProgress, IgnoreStatus);
            scale->EndAlibiReadAfter(selector >> 2);
            break;
        case 2:
            scale->RequestSI(IgnoreWeight, 300);
            break;
        default:
            scale->ReadSW9(10);
            scale->ReadSx3(10);
            break;
    }
    // Silence comes at once, so every dialogue ends within a few cycles.
    for (int spins = 0; scale->IsListening() && spins < 200000; ++spins) {
        std::this_thread::yield();
    }
    device->StopListener();
    scale->GetDeviceInfo();
    for (int64_t i = 0; i <= scale->GetAlibiLineCount() + 1; ++i) {
        scale->GetAlibiRecordLine(i);
    }
    for (int64_t i = 1; i <= 1000; ++i) {
        try {
            scale->GetAlibiRecord(i);
        } catch (const std::out_of_range&) {
            break;
        } catch (const std::invalid_argument&) {
        }
    }
    return 0;
}
