#include "ethernet/WatekFirmTibbo.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <filesystem>
#include <fstream>

#include "ethernet/CEthernet.h"
#include "platform/ThreadName.h"
#include "text/TextUtil.h"
#include "transport/CInterfejs.h"

namespace qel {
namespace {

enum UpdateStatus : int32_t {
    kContinue = 0,
    kDone = 2,
    kImageUnreadable = 5,
    kNoLoadingMode = 6,
    kLoadNotAccepted = 7,
    kEndNotAccepted = 8,
    kStartNotAccepted = 9,
    kNoNormalMode = 10,
    kBlockRefused = 12,
};

constexpr size_t kBlockSize = 128;
// Block numbers travel as two bytes.
constexpr uint64_t kMaxBlocks = 65535;

// Up to `count` characters after the first '/' of `text` (its first `count`
// when it has none): where the identity reply keeps the mode letters.
std::string AfterFirstSlash(const std::string& text, size_t count) {
    const size_t slash = text.find('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    return text.substr(std::min(start, text.size()), count);
}

std::string BlockPacket(uint16_t blockNumber, const char* bytes, size_t size) {
    std::string packet = "D";
    packet += static_cast<char>(blockNumber >> 8);
    packet += static_cast<char>(blockNumber & 0xFF);
    packet.append(bytes, size);
    return packet;
}

}  // namespace

WatekFirmTibbo::WatekFirmTibbo(std::string path, CInterfejs& transport, ProgressCallback onProgress,
                               StatusCallback onStatus)
    : path_(std::move(path)), transport_(transport), onProgress_(onProgress), onStatus_(onStatus) {}

WatekFirmTibbo::~WatekFirmTibbo() {
    if (!thread_.joinable()) {
        return;
    }
    if (thread_.get_id() == std::this_thread::get_id()) {
        // Destroyed from its own callback, which callers must not do; joining
        // itself would never end.
        thread_.detach();
        return;
    }
    thread_.join();
}

void WatekFirmTibbo::Start() {
    running_ = true;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (...) {
        running_ = false;
        throw;
    }
}

void WatekFirmTibbo::Abort() {
    aborted_ = true;
    abortRequested_.Set();
}

void WatekFirmTibbo::Run() {
    NameCurrentThread("WFT");
    int32_t status = kImageUnreadable;
    try {
        status = Load();
    } catch (const std::exception&) {
        // Out of memory or the like: the run ends with a status all the same.
    }
    if (onStatus_ != nullptr) {
        onStatus_(status);
    }
    running_ = false;
}

int32_t WatekFirmTibbo::Load() {
    // The module's management port, over the transport itself.
    transport_.Close();
    transport_.SetParam("protokol", "udp");
    transport_.SetParam("port", "65535");
    transport_.Open();

    const std::string mode = AfterFirstSlash(AfterFirstSlash(Exchange("X", 1, 200), 10), 5);
    if (ContainsNoCase(mode, "N")) {
        if (int32_t status = SwitchToLoadingMode(); status != kContinue) {
            return status;
        }
    }
    if (!IsAccepted("Q", 200)) {
        return kStartNotAccepted;
    }
    if (int32_t status = SendImage(); status != kContinue) {
        return status;
    }
    if (!IsAccepted("E", 3000)) {
        return kEndNotAccepted;
    }
    Pause(2000);  // the module restarts into its normal mode
    const std::string reply = Exchange("X", 43, 200);
    if (reply.size() < 31 || reply[30] != 'N') {
        return kNoNormalMode;
    }
    transport_.Close();
    return kDone;
}

int32_t WatekFirmTibbo::SwitchToLoadingMode() {
    if (!IsAccepted("L", 400)) {
        return kLoadNotAccepted;
    }
    IsAccepted("N", 400);
    Pause(1500);  // the module restarts into its loading mode
    const std::string mode = AfterFirstSlash(Exchange("X", 32, 1500), 10);
    return ContainsNoCase(mode, "L") ? kContinue : kNoLoadingMode;
}

int32_t WatekFirmTibbo::SendImage() {
    std::error_code error;
    const uint64_t size = std::filesystem::file_size(path_, error);
    if (error) {
        return kImageUnreadable;
    }
    const uint64_t blockCount = size / kBlockSize + (size % kBlockSize != 0 ? 1 : 0);
    if (blockCount > kMaxBlocks) {
        return kImageUnreadable;  // its block numbers would repeat
    }
    std::ifstream image(path_, std::ios::binary);
    if (!image) {
        return kImageUnreadable;
    }
    for (uint64_t block = 0; block < blockCount; ++block) {
        const bool last = block + 1 == blockCount;
        const size_t wanted = last && size % kBlockSize != 0 ? size % kBlockSize : kBlockSize;
        char bytes[kBlockSize] = {};
        image.read(bytes, static_cast<std::streamsize>(wanted));
        if (static_cast<size_t>(image.gcount()) != wanted) {
            return kImageUnreadable;
        }
        const std::string reply =
            Exchange(BlockPacket(static_cast<uint16_t>(block), bytes, wanted), 3, 200);
        if (!ContainsNoCase(reply, "A")) {
            return ContainsNoCase(reply, "F") ? kBlockRefused : kImageUnreadable;
        }
        if (onProgress_ != nullptr) {
            onProgress_(static_cast<double>(block + 1) / static_cast<double>(blockCount));
        }
    }
    return kContinue;
}

std::string WatekFirmTibbo::Exchange(const std::string& command, int32_t count,
                                     uint32_t idleTimeoutMs) {
    if (aborted_) {
        return std::string();
    }
    std::string data = command;
    transport_.WriteRead(data, count, idleTimeoutMs);
    return data;
}

bool WatekFirmTibbo::IsAccepted(const std::string& command, uint32_t idleTimeoutMs) {
    return !aborted_ && transport_.WriteExpect(command, "A", idleTimeoutMs);
}

void WatekFirmTibbo::Pause(int milliseconds) {
    abortRequested_.Wait(std::chrono::milliseconds(milliseconds));
}

bool StartModuleFirmwareUpdate(const char* path, CInterfejs* transport, ProgressCallback onProgress,
                               StatusCallback onStatus) {
    // Only the Ethernet transport reaches a module, and it owns the running
    // load, so that the load never outlives the transport it talks through.
    auto* ethernet = dynamic_cast<CEthernet*>(transport);
    if (ethernet == nullptr) {
        return false;
    }
    return ethernet->StartModuleUpdate(path == nullptr ? "" : path, onProgress, onStatus);
}

}  // namespace qel
