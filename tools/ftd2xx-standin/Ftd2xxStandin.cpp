// A stand-in for FTDI's D2XX library (libftd2xx.so), written by this project
// from FTDI's published programmer's guide, for tests and demonstrations
// without a converter. It presents the converters its configuration lists,
// logs every call, and passes the bytes through to a pseudo-terminal or a
// loopback TCP peer. README.md describes the configuration and the log.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "CallLog.h"
#include "Peer.h"
#include "StandinConfig.h"
#include "usb/D2xxApi.h"

using namespace qel::d2xx;

namespace ftstandin {
namespace {

constexpr ULONG kFlagOpened = 1;
constexpr ULONG kDeviceType232R = 5;

struct OpenConverter {
    int index = 0;
    ConverterConfig config;
    LineSettings line;
    // 0: D2XX waits without a time limit until the caller sets one.
    uint32_t readTimeoutMs = 0;
    uint32_t writeTimeoutMs = 0;
    UCHAR latencyMs = 16;
    std::unique_ptr<Peer> peer;
};

// Everything the stand-in knows, created when the library is loaded and
// gone when it is unloaded. Every entry point holds the lock for its whole
// call, like a driver that serves one request at a time.
class Standin {
public:
    Standin() { LogLine("load"); }
    ~Standin() {
        open.clear();
        LogLine("unload");
    }

    void ReadConfig() {
        config = LoadConfigFromEnvironment();
        configRead = true;
        for (const auto& error : config.errors) {
            LogLine("config-error " + error);
        }
    }

    void EnsureConfig() {
        if (!configRead) {
            ReadConfig();
        }
    }

    std::optional<FT_STATUS> FailureFor(const char* function) {
        EnsureConfig();
        auto it = config.failures.find(function);
        if (it == config.failures.end()) {
            return std::nullopt;
        }
        const FT_STATUS status = it->second.status;
        if (it->second.once) {
            config.failures.erase(it);
        }
        return status;
    }

    // A slow driver call: it takes its time without holding up the others.
    void Linger(const char* function, std::unique_lock<std::mutex>& lock) {
        EnsureConfig();
        auto it = config.delays.find(function);
        if (it == config.delays.end()) {
            return;
        }
        const uint32_t ms = it->second;
        LogLine(std::string("slow ") + function + " " + std::to_string(ms));
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        lock.lock();
    }

    OpenConverter* Find(FT_HANDLE handle) {
        auto it = std::find_if(open.begin(), open.end(),
                               [handle](const auto& c) { return c.get() == handle; });
        return it != open.end() ? it->get() : nullptr;
    }

    OpenConverter* FindByIndex(int index) {
        auto it = std::find_if(open.begin(), open.end(),
                               [index](const auto& c) { return c->index == index; });
        return it != open.end() ? it->get() : nullptr;
    }

    std::mutex mutex;
    StandinConfig config;
    bool configRead = false;
    std::vector<std::unique_ptr<OpenConverter>> open;
};

Standin standin;

// Builds "FT_Name arg arg -> status [result...]" lines. Calls on a handle name
// the converter by its list index, "?" for a handle that is not open.
class Call {
public:
    explicit Call(const char* function) : text_(function) {}
    Call& Arg(const std::string& value) {
        text_ += " " + value;
        return *this;
    }
    Call& Arg(uint64_t value) { return Arg(std::to_string(value)); }
    Call& Handle(const OpenConverter* converter) {
        return Arg(converter != nullptr ? std::to_string(converter->index) : std::string("?"));
    }
    FT_STATUS Finish(FT_STATUS status, const std::string& results = "") {
        LogLine(text_ + " -> " + std::to_string(status) + (results.empty() ? "" : " " + results));
        return status;
    }

private:
    std::string text_;
};

void CopyText(char* field, size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

bool ValidCharacteristics(UCHAR dataBits, UCHAR stopBits, UCHAR parity) {
    return (dataBits == 7 || dataBits == 8) && (stopBits == 0 || stopBits == 2) && parity <= 4;
}

char ParityLetter(UCHAR parity) {
    static constexpr char kLetters[] = {'N', 'O', 'E', 'M', 'S'};
    return kLetters[parity];
}

}  // namespace
}  // namespace ftstandin

using namespace ftstandin;

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

STANDIN_EXPORT FT_STATUS FT_CreateDeviceInfoList(DWORD* numDevs) {
    std::unique_lock lock(standin.mutex);
    Call call("FT_CreateDeviceInfoList");
    // Each listing looks again, as plugging converters in and out would show.
    standin.ReadConfig();
    standin.Linger("FT_CreateDeviceInfoList", lock);
    if (auto failure = standin.FailureFor("FT_CreateDeviceInfoList")) {
        return call.Finish(*failure);
    }
    if (numDevs == nullptr) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    *numDevs = static_cast<DWORD>(standin.config.converters.size());
    return call.Finish(FT_OK, std::to_string(*numDevs));
}

STANDIN_EXPORT FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE* dest, DWORD* numDevs) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_GetDeviceInfoList", lock);
    Call call("FT_GetDeviceInfoList");
    if (auto failure = standin.FailureFor("FT_GetDeviceInfoList")) {
        return call.Finish(*failure);
    }
    if (dest == nullptr || numDevs == nullptr) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    const auto& converters = standin.config.converters;
    for (size_t i = 0; i < converters.size(); ++i) {
        FT_DEVICE_LIST_INFO_NODE& node = dest[i];
        OpenConverter* open = standin.FindByIndex(static_cast<int>(i));
        node.Flags = open != nullptr ? kFlagOpened : 0;
        node.Type = kDeviceType232R;
        node.ID = converters[i].id;
        node.LocId = converters[i].locId;
        CopyText(node.SerialNumber, sizeof node.SerialNumber, converters[i].serialNumber);
        CopyText(node.Description, sizeof node.Description, converters[i].description);
        node.ftHandle = open;
    }
    *numDevs = static_cast<DWORD>(converters.size());
    return call.Finish(FT_OK, std::to_string(*numDevs));
}

STANDIN_EXPORT FT_STATUS FT_Reload(WORD wVid, WORD wPid) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_Reload", lock);
    Call call("FT_Reload");
    call.Arg(wVid).Arg(wPid);
    if (auto failure = standin.FailureFor("FT_Reload")) {
        return call.Finish(*failure);
    }
    return call.Finish(FT_OK);
}

STANDIN_EXPORT FT_STATUS FT_Open(int deviceNumber, FT_HANDLE* handle) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_Open", lock);
    Call call("FT_Open");
    call.Arg(std::to_string(deviceNumber));
    if (auto failure = standin.FailureFor("FT_Open")) {
        return call.Finish(*failure);
    }
    if (handle == nullptr) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    const auto& converters = standin.config.converters;
    if (deviceNumber < 0 || static_cast<size_t>(deviceNumber) >= converters.size()) {
        return call.Finish(FT_DEVICE_NOT_FOUND);
    }
    if (standin.FindByIndex(deviceNumber) != nullptr) {
        return call.Finish(FT_DEVICE_NOT_OPENED);  // one owner at a time
    }
    auto converter = std::make_unique<OpenConverter>();
    converter->index = deviceNumber;
    converter->config = converters[static_cast<size_t>(deviceNumber)];
    converter->peer = Peer::Connect(converter->config.peer, converter->line);
    if (!converter->peer) {
        return call.Finish(FT_DEVICE_NOT_OPENED);
    }
    *handle = converter.get();
    standin.open.push_back(std::move(converter));
    return call.Finish(FT_OK);
}

STANDIN_EXPORT FT_STATUS FT_Close(FT_HANDLE handle) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_Close", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_Close");
    call.Handle(converter);
    if (auto failure = standin.FailureFor("FT_Close")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    std::erase_if(standin.open, [converter](const auto& c) { return c.get() == converter; });
    return call.Finish(FT_OK);
}

STANDIN_EXPORT FT_STATUS FT_SetTimeouts(FT_HANDLE handle, ULONG readTimeout, ULONG writeTimeout) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_SetTimeouts", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_SetTimeouts");
    call.Handle(converter).Arg(readTimeout).Arg(writeTimeout);
    if (auto failure = standin.FailureFor("FT_SetTimeouts")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    converter->readTimeoutMs = readTimeout;
    converter->writeTimeoutMs = writeTimeout;
    return call.Finish(FT_OK);
}

STANDIN_EXPORT FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, UCHAR wordLength,
                                                   UCHAR stopBits, UCHAR parity) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_SetDataCharacteristics", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_SetDataCharacteristics");
    call.Handle(converter).Arg(wordLength).Arg(stopBits).Arg(parity);
    if (auto failure = standin.FailureFor("FT_SetDataCharacteristics")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    if (!ValidCharacteristics(wordLength, stopBits, parity)) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    LineSettings line = converter->line;
    line.dataBits = wordLength;
    line.stopBits = stopBits == 2 ? 2 : 1;
    line.parity = ParityLetter(parity);
    if (!converter->peer->Apply(line)) {
        return call.Finish(FT_IO_ERROR);
    }
    converter->line = line;
    return call.Finish(FT_OK);
}

STANDIN_EXPORT FT_STATUS FT_SetBaudRate(FT_HANDLE handle, ULONG baudRate) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_SetBaudRate", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_SetBaudRate");
    call.Handle(converter).Arg(baudRate);
    if (auto failure = standin.FailureFor("FT_SetBaudRate")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    LineSettings line = converter->line;
    line.baud = baudRate;
    if (!converter->peer->Apply(line)) {
        return call.Finish(FT_INVALID_BAUD_RATE);
    }
    converter->line = line;
    return call.Finish(FT_OK);
}

#ifndef STANDIN_WITHOUT_LATENCY_TIMER
STANDIN_EXPORT FT_STATUS FT_SetLatencyTimer(FT_HANDLE handle, UCHAR latency) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_SetLatencyTimer", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_SetLatencyTimer");
    call.Handle(converter).Arg(latency);
    if (auto failure = standin.FailureFor("FT_SetLatencyTimer")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    if (latency < 2) {
        return call.Finish(FT_INVALID_PARAMETER);  // the converters take 2 to 255 ms
    }
    converter->latencyMs = latency;
    return call.Finish(FT_OK);
}
#endif

// Like D2XX: returns when all the bytes asked for have come or the read
// timeout has passed, whichever is first.
STANDIN_EXPORT FT_STATUS FT_Read(FT_HANDLE handle, void* buffer, DWORD bytesToRead,
                                 DWORD* bytesReturned) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_Read", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_Read");
    call.Handle(converter).Arg(bytesToRead);
    if (auto failure = standin.FailureFor("FT_Read")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    if (buffer == nullptr || bytesReturned == nullptr) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    *bytesReturned = 0;
    int got = converter->peer->Read(static_cast<char*>(buffer), static_cast<int>(bytesToRead),
                                    converter->readTimeoutMs);
    if (got < 0) {
        return call.Finish(FT_IO_ERROR);
    }
    *bytesReturned = static_cast<DWORD>(got);
    return call.Finish(FT_OK, std::to_string(got));
}

STANDIN_EXPORT FT_STATUS FT_Write(FT_HANDLE handle, void* buffer, DWORD bytesToWrite,
                                  DWORD* bytesWritten) {
    std::unique_lock lock(standin.mutex);
    standin.Linger("FT_Write", lock);
    OpenConverter* converter = standin.Find(handle);
    Call call("FT_Write");
    call.Handle(converter).Arg(bytesToWrite);
    if (auto failure = standin.FailureFor("FT_Write")) {
        return call.Finish(*failure);
    }
    if (converter == nullptr) {
        return call.Finish(FT_INVALID_HANDLE);
    }
    if (buffer == nullptr || bytesWritten == nullptr) {
        return call.Finish(FT_INVALID_PARAMETER);
    }
    *bytesWritten = 0;
    int sent = converter->peer->Write(static_cast<const char*>(buffer),
                                      static_cast<int>(bytesToWrite), converter->writeTimeoutMs);
    if (sent < 0) {
        return call.Finish(FT_IO_ERROR);
    }
    *bytesWritten = static_cast<DWORD>(sent);
    return call.Finish(FT_OK, std::to_string(sent));
}

// The definitions above must keep the signatures the callers look up.
static_assert(std::is_same_v<decltype(&FT_CreateDeviceInfoList), FT_CreateDeviceInfoList_t>);
static_assert(std::is_same_v<decltype(&FT_GetDeviceInfoList), FT_GetDeviceInfoList_t>);
static_assert(std::is_same_v<decltype(&FT_Reload), FT_Reload_t>);
static_assert(std::is_same_v<decltype(&FT_Open), FT_Open_t>);
static_assert(std::is_same_v<decltype(&FT_Close), FT_Close_t>);
static_assert(std::is_same_v<decltype(&FT_SetTimeouts), FT_SetTimeouts_t>);
static_assert(std::is_same_v<decltype(&FT_SetDataCharacteristics), FT_SetDataCharacteristics_t>);
static_assert(std::is_same_v<decltype(&FT_SetBaudRate), FT_SetBaudRate_t>);
static_assert(std::is_same_v<decltype(&FT_Read), FT_Read_t>);
static_assert(std::is_same_v<decltype(&FT_Write), FT_Write_t>);
