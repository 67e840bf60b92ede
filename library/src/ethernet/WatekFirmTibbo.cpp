#include "ethernet/WatekFirmTibbo.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>

#include "ethernet/CEthernet.h"
#include "platform/Event.h"
#include "platform/ThreadName.h"
#include "text/TextUtil.h"
#include "transport/CInterfejs.h"

namespace qel {
namespace {

// The step results: go on, or end with the status to report.
enum UpdateStatus : int32_t {
    kContinue = 0,
    kDone = qelscale::kModuleLoadDone,
    kImageUnreadable = qelscale::kModuleImageUnreadable,
    kNoLoadingMode = qelscale::kModuleNoLoadingMode,
    kLoadNotAccepted = qelscale::kModuleLoadRefused,
    kEndNotAccepted = qelscale::kModuleEndRefused,
    kStartNotAccepted = qelscale::kModuleQueryRefused,
    kNoNormalMode = qelscale::kModuleNoNormalMode,
    kBlockRefused = qelscale::kModuleBlockRefused,
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

// The state of one run and the steps it takes, owned together by the
// WatekFirmTibbo and by the thread that runs it.
class WatekFirmTibbo::Run {
public:
    Run(std::string path, CInterfejs& transport, ProgressCallback onProgress,
        StatusCallback onStatus)
        : path_(std::move(path)),
          transport_(transport),
          onProgress_(onProgress),
          onStatus_(onStatus) {}

    void Execute();
    bool IsRunning() const { return running_; }
    void MarkRunning(bool running) { running_ = running; }
    // `silently`: no further callback, no further use of the transport.
    void Abandon(bool silently) {
        silenced_ = silently || silenced_;
        aborted_ = true;
        abortRequested_.Set();
    }

private:
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
    std::atomic<bool> silenced_{false};
    Event abortRequested_;
};

WatekFirmTibbo::WatekFirmTibbo(std::string path, CInterfejs& transport, ProgressCallback onProgress,
                               StatusCallback onStatus)
    : run_(std::make_shared<Run>(std::move(path), transport, onProgress, onStatus)) {}

WatekFirmTibbo::~WatekFirmTibbo() {
    Abandon();
    if (thread_.joinable()) {
        // Only a destruction from inside a callback gets here: the thread
        // finishes on its own, holding the run's state.
        thread_.detach();
    }
}

void WatekFirmTibbo::Start() {
    run_->MarkRunning(true);
    try {
        thread_ = std::thread([run = run_] { run->Execute(); });
    } catch (...) {
        run_->MarkRunning(false);
        throw;
    }
}

bool WatekFirmTibbo::IsRunning() const {
    return run_->IsRunning();
}

void WatekFirmTibbo::Abandon() {
    const bool fromOwnCallback = thread_.get_id() == std::this_thread::get_id();
    run_->Abandon(fromOwnCallback);
    if (thread_.joinable() && !fromOwnCallback) {
        thread_.join();
    }
}

void WatekFirmTibbo::Run::Execute() {
    NameCurrentThread("WFT");
    int32_t status = kImageUnreadable;
    try {
        status = Load();
    } catch (const std::exception&) {
        // Out of memory or the like: the run ends with a status all the same.
    }
    if (onStatus_ != nullptr && !silenced_) {
        onStatus_(status);
    }
    running_ = false;
}

int32_t WatekFirmTibbo::Run::Load() {
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

int32_t WatekFirmTibbo::Run::SwitchToLoadingMode() {
    if (!IsAccepted("L", 400)) {
        return kLoadNotAccepted;
    }
    IsAccepted("N", 400);
    Pause(1500);  // the module restarts into its loading mode
    const std::string mode = AfterFirstSlash(Exchange("X", 32, 1500), 10);
    return ContainsNoCase(mode, "L") ? kContinue : kNoLoadingMode;
}

int32_t WatekFirmTibbo::Run::SendImage() {
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

// Every use of the transport comes through here or IsAccepted, so that an
// abandoned run, whose transport may be gone, never touches it again.
std::string WatekFirmTibbo::Run::Exchange(const std::string& command, int32_t count,
                                          uint32_t idleTimeoutMs) {
    if (aborted_) {
        return std::string();
    }
    std::string data = command;
    transport_.WriteRead(data, count, idleTimeoutMs);
    return data;
}

bool WatekFirmTibbo::Run::IsAccepted(const std::string& command, uint32_t idleTimeoutMs) {
    return !aborted_ && transport_.WriteExpect(command, "A", idleTimeoutMs);
}

void WatekFirmTibbo::Run::Pause(int milliseconds) {
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

void AbandonModuleFirmwareUpdate(CInterfejs* transport) {
    if (auto* ethernet = dynamic_cast<CEthernet*>(transport)) {
        ethernet->AbandonModuleUpdate();
    }
}

}  // namespace qel
