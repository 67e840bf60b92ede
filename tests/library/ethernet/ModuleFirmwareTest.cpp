// The module firmware load against a simulated module on UDP
// 127.0.0.26:65535 (and 127.0.0.27:65535 for the runs through the scale
// object, 127.0.0.34:65535 and 127.0.0.35:65535 for the runs that release it).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include <atomic>

#include "LoopbackPeers.h"
#include "QELScale.h"
#include "ethernet/CEthernet.h"
#include "ethernet/WatekFirmTibbo.h"

namespace {

using namespace std::chrono_literals;
using ethtest::ModuleResponder;
using qel::CEthernet;
using Strings = std::vector<std::string>;

const char* const kAddress = "127.0.0.26";
const char* const kScaleAddress = "127.0.0.27";
const char* const kReleaseAddress = "127.0.0.34";
const char* const kIdentityAddress = "127.0.0.35";

// A module that honours the load: the identity reply carries its mode letter
// where the load looks for it, blocks are answered with their number.
class FakeModule {
public:
    char mode = 'N';
    bool acceptsLoad = true;        // "L"
    bool entersLoadingMode = true;  // after "N"
    bool answersStart = true;       // "Q"
    bool acceptsEnd = true;         // "E"
    bool leavesLoadingMode = true;  // after "E"
    int refusedBlock = -1;
    int garbledBlock = -1;
    std::chrono::milliseconds blockDelay{0};

    std::optional<std::string> Answer(const std::string& command) {
        std::lock_guard lock(mutex_);
        const char letter = command.empty() ? '?' : command[0];
        switch (letter) {
            case 'X':
                return Identity();
            case 'L':
                return acceptsLoad ? "A" : "F";
            case 'N':
                mode = entersLoadingMode ? 'L' : mode;
                return "A";
            case 'Q':
                return answersStart ? std::optional<std::string>("A") : std::nullopt;
            case 'D':
                return Block(command);
            case 'E':
                mode = acceptsEnd && leavesLoadingMode ? 'N' : mode;
                return acceptsEnd ? "A" : "F";
            default:
                return std::nullopt;
        }
    }

    std::vector<std::string> Blocks() {
        std::lock_guard lock(mutex_);
        return blocks_;
    }

private:
    // Status letter, MAC, then fields split by '/'; the mode letter is the
    // 30th and 31st character.
    std::string Identity() const {
        return std::string("A000.036.119.080.012.034/0000") + mode + mode + "0000/Scale1/ok";
    }

    std::string Block(const std::string& packet) {
        blocks_.push_back(packet);
        std::this_thread::sleep_for(blockDelay);
        const int number = packet.size() >= 3 ? (static_cast<unsigned char>(packet[1]) << 8) |
                                                    static_cast<unsigned char>(packet[2])
                                              : -1;
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02d", (number % 100 + 100) % 100);
        if (number == refusedBlock) {
            return std::string("F") + digits;
        }
        return std::string(number == garbledBlock ? "Z" : "A") + digits;
    }

    std::mutex mutex_;
    std::vector<std::string> blocks_;
};

// The callbacks are plain functions: they report into this log.
struct UpdateLog {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<double> progress;
    std::vector<int32_t> statuses;
};
UpdateLog* g_log = nullptr;

void OnProgress(double fraction) {
    std::lock_guard lock(g_log->mutex);
    g_log->progress.push_back(fraction);
}

void OnStatus(int32_t status) {
    {
        std::lock_guard lock(g_log->mutex);
        g_log->statuses.push_back(status);
    }
    g_log->changed.notify_all();
}

// What the callbacks of a run through a scale object do besides logging:
// release the scale, or look at it. Set before the run starts.
struct ScaleHooks {
    std::atomic<CVESKScaleInterface*> scale{nullptr};
    bool releaseOnProgress = false;
    bool releaseOnStatus = false;
    std::string typeOnStatus;

    void Reset(CVESKScaleInterface* newScale = nullptr) {
        scale = newScale;
        releaseOnProgress = false;
        releaseOnStatus = false;
        typeOnStatus.clear();
    }
};
ScaleHooks g_hooks;

void ReleaseHookedScale() {
    if (CVESKScaleInterface* scale = g_hooks.scale.exchange(nullptr)) {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
}

void OnProgressHooked(double fraction) {
    OnProgress(fraction);
    if (g_hooks.releaseOnProgress) {
        ReleaseHookedScale();
    }
}

void OnStatusHooked(int32_t status) {
    CVESKScaleInterface* scale = g_hooks.scale;
    if (scale != nullptr && !g_hooks.releaseOnStatus) {
        const char* type = scale->GetDeviceInfo().type;
        g_hooks.typeOnStatus = type != nullptr ? type : "<null>";
    }
    OnStatus(status);
    if (g_hooks.releaseOnStatus) {
        ReleaseHookedScale();
    }
}

// Waits until a callback has released the scale and the load's thread, which
// nobody joins then, has ended.
bool ReleasedAndLoadThreadEnded() {
    for (int attempt = 0; attempt < 500 && g_hooks.scale != nullptr; ++attempt) {
        std::this_thread::sleep_for(10ms);
    }
    if (g_hooks.scale != nullptr) {
        return false;
    }
    for (int attempt = 0; attempt < 500; ++attempt) {
        const auto names = ethtest::ThreadNames();
        if (std::find(names.begin(), names.end(), "WFT") == names.end()) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

std::string CommandLetters(const Strings& commands) {
    std::string letters;
    for (const auto& command : commands) {
        letters += command.empty() ? '-' : command[0];
    }
    return letters;
}

class ModuleFirmware : public ::testing::Test {
protected:
    void SetUp() override {
        g_log = &log_;
        g_hooks.Reset();
    }
    void TearDown() override {
        transport_.reset();  // waits for a load still running
        g_log = nullptr;
    }

    std::string WriteImage(size_t size) {
        std::string bytes;
        for (size_t i = 0; i < size; ++i) {
            bytes += static_cast<char>((i * 7 + 1) % 256);
        }
        const auto path =
            std::filesystem::path(testing::TempDir()) /
            ("module-image-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + std::to_string(size) + ".bin");
        std::ofstream(path, std::ios::binary) << bytes;
        images_.push_back(path);
        image_ = bytes;
        return path.string();
    }

    void StartModule(const char* address = kAddress) {
        responder_ = std::make_unique<ModuleResponder>(
            address, [this](const std::string& command) { return module_->Answer(command); });
    }

    // Runs a load through a transport aimed at the module (its data port
    // elsewhere) and waits for its one status.
    int32_t Load(const std::string& path) {
        transport_ = std::make_unique<CEthernet>();
        transport_->SetParam("ip", kAddress);
        transport_->SetParam("port", "1001");
        EXPECT_TRUE(
            qel::StartModuleFirmwareUpdate(path.c_str(), transport_.get(), OnProgress, OnStatus));
        return WaitForStatus();
    }

    int32_t WaitForStatus() {
        std::unique_lock lock(log_.mutex);
        if (!log_.changed.wait_for(lock, 30s, [this] { return !log_.statuses.empty(); })) {
            return -1;
        }
        return log_.statuses.front();
    }

    std::vector<int32_t> Statuses() {
        std::lock_guard lock(log_.mutex);
        return log_.statuses;
    }
    std::vector<double> Progress() {
        std::lock_guard lock(log_.mutex);
        return log_.progress;
    }

    ~ModuleFirmware() override {
        std::error_code ignored;
        for (const auto& path : images_) {
            std::filesystem::remove(path, ignored);
        }
    }

    UpdateLog log_;
    std::unique_ptr<FakeModule> module_ = std::make_unique<FakeModule>();
    std::string image_;
    std::vector<std::filesystem::path> images_;
    std::unique_ptr<ModuleResponder> responder_;
    std::unique_ptr<CEthernet> transport_;
};

TEST_F(ModuleFirmware, LoadsAnImageFromNormalModeAndComesBack) {
    StartModule();
    const std::string path = WriteImage(300);
    EXPECT_EQ(Load(path), 2);

    EXPECT_EQ(CommandLetters(responder_->Commands()), "XLNXQDDDEX");
    const Strings blocks = module_->Blocks();
    ASSERT_EQ(blocks.size(), 3u);
    const size_t sizes[] = {131, 131, 47};
    for (size_t i = 0; i < blocks.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(blocks[i].size(), sizes[i]);
        EXPECT_EQ(blocks[i][0], 'D');
        EXPECT_EQ(blocks[i][1], '\0');
        EXPECT_EQ(blocks[i][2], static_cast<char>(i));
        EXPECT_EQ(blocks[i].substr(3), image_.substr(i * 128, 128));
    }
    const std::vector<double> progress = Progress();
    ASSERT_EQ(progress.size(), 3u);
    EXPECT_DOUBLE_EQ(progress[0], 1.0 / 3);
    EXPECT_DOUBLE_EQ(progress[1], 2.0 / 3);
    EXPECT_DOUBLE_EQ(progress[2], 1.0);
    EXPECT_EQ(Statuses(), std::vector<int32_t>{2});
    // Done: the transport is closed and stays on the management port.
    EXPECT_FALSE(transport_->IsOpen());
    EXPECT_STREQ(transport_->GetParam("port"), "65535");
}

TEST_F(ModuleFirmware, AModuleAlreadyLoadingGetsTheBlocksAtOnce) {
    struct Case {
        size_t size;
        std::vector<size_t> packets;
    };
    const Case cases[] = {{256, {131, 131}}, {0, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        module_ = std::make_unique<FakeModule>();
        module_->mode = 'L';
        {
            std::lock_guard lock(log_.mutex);
            log_.statuses.clear();
        }
        StartModule();
        EXPECT_EQ(Load(WriteImage(c.size)), 2);
        // Neither "L" nor "N": the module already loads.
        EXPECT_EQ(CommandLetters(responder_->Commands()),
                  "XQ" + std::string(c.packets.size(), 'D') + "EX");
        std::vector<size_t> sizes;
        for (const auto& block : module_->Blocks()) {
            sizes.push_back(block.size());
        }
        EXPECT_EQ(sizes, c.packets);
        responder_.reset();
    }
}

TEST_F(ModuleFirmware, BlockNumbersTravelAsTwoBytes) {
    module_->mode = 'L';
    StartModule();
    EXPECT_EQ(Load(WriteImage(259 * 128)), 2);
    const Strings blocks = module_->Blocks();
    ASSERT_EQ(blocks.size(), 259u);
    EXPECT_EQ(blocks[258][1], '\x01');
    EXPECT_EQ(blocks[258][2], '\x02');
    EXPECT_EQ(blocks[258].substr(3), image_.substr(258 * 128));
    EXPECT_EQ(Progress().size(), 259u);
}

TEST_F(ModuleFirmware, EachFailureEndsTheRunWithItsStatus) {
    struct Case {
        const char* name;
        void (*arrange)(FakeModule&);
        bool missingImage;
        int32_t status;
        const char* commands;
    };
    const Case cases[] = {
        {"refused block", [](FakeModule& m) { m.refusedBlock = 1; }, false, 12, "XQDD"},
        {"garbled reply", [](FakeModule& m) { m.garbledBlock = 0; }, false, 5, "XQD"},
        {"missing image", [](FakeModule&) {}, true, 5, "XQ"},
        {"start silent", [](FakeModule& m) { m.answersStart = false; }, false, 9, "XQ"},
        {"end refused", [](FakeModule& m) { m.acceptsEnd = false; }, false, 8, "XQDDDE"},
        {"load refused",
         [](FakeModule& m) {
             m.mode = 'N';
             m.acceptsLoad = false;
         },
         false, 7, "XL"},
        {"no loading mode",
         [](FakeModule& m) {
             m.mode = 'N';
             m.entersLoadingMode = false;
         },
         false, 6, "XLNX"},
        {"no normal mode", [](FakeModule& m) { m.leavesLoadingMode = false; }, false, 10,
         "XQDDDEX"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        module_ = std::make_unique<FakeModule>();
        module_->mode = 'L';
        c.arrange(*module_);
        {
            std::lock_guard lock(log_.mutex);
            log_.statuses.clear();
        }
        StartModule();
        const std::string path =
            c.missingImage ? testing::TempDir() + "/no-such-module-image.bin" : WriteImage(300);
        EXPECT_EQ(Load(path), c.status);
        transport_.reset();
        EXPECT_EQ(Statuses().size(), 1u);
        EXPECT_EQ(CommandLetters(responder_->Commands()), c.commands);
        responder_.reset();
    }
}

TEST_F(ModuleFirmware, RunsThroughTheScaleObjectAndOneAtATime) {
    module_->mode = 'L';
    StartModule(kScaleAddress);
    const std::string path = WriteImage(300);
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(2);
    ASSERT_TRUE(device->SetParameter("ip", kScaleAddress));
    EXPECT_TRUE(device->UpdateFirmware(path.c_str(), false, true, OnProgress, OnStatus));
    EXPECT_FALSE(device->UpdateFirmware(path.c_str(), false, true, OnProgress, OnStatus));
    bool named = false;
    for (int attempt = 0; attempt < 100 && !named; ++attempt) {
        const auto names = ethtest::ThreadNames();
        named = std::find(names.begin(), names.end(), "WFT") != names.end();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(named);
    EXPECT_EQ(WaitForStatus(), 2);
    EXPECT_EQ(module_->Blocks().size(), 3u);
    device->Release();
    EXPECT_EQ(Statuses(), std::vector<int32_t>{2});
}

TEST_F(ModuleFirmware, ReleasingTheScaleAbandonsARunningLoad) {
    module_->mode = 'L';
    module_->blockDelay = 20ms;
    StartModule(kScaleAddress);
    const std::string path = WriteImage(1000 * 128);
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(2);
    device->SetParameter("ip", kScaleAddress);
    ASSERT_TRUE(device->UpdateFirmware(path.c_str(), false, true, OnProgress, OnStatus));
    while (Progress().size() < 3) {
        std::this_thread::sleep_for(10ms);
    }
    const auto start = std::chrono::steady_clock::now();
    device->Release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    const std::vector<int32_t> statuses = Statuses();
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_NE(statuses[0], 2);
    EXPECT_LT(module_->Blocks().size(), 1000u);
}

// The caller may let go of the scale from inside the load's own callback:
// the load then stops without another callback and never touches the freed
// transport.
TEST_F(ModuleFirmware, ReleasingTheScaleInsideALoadCallbackEndsTheLoadQuietly) {
    struct Case {
        const char* name;
        bool onProgress;
        size_t blocksSent;
        std::vector<int32_t> statuses;
    };
    // The module refuses the second block, so that the status comes soon.
    const Case cases[] = {{"in the progress callback", true, 1, {}},
                          {"in the status callback", false, 2, {12}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        module_ = std::make_unique<FakeModule>();
        module_->mode = 'L';
        module_->refusedBlock = 1;
        {
            std::lock_guard lock(log_.mutex);
            log_.progress.clear();
            log_.statuses.clear();
        }
        StartModule(kReleaseAddress);
        const std::string path = WriteImage(300);
        g_hooks.Reset(GetVESKScaleInstance());
        g_hooks.releaseOnProgress = c.onProgress;
        g_hooks.releaseOnStatus = !c.onProgress;
        CVESKDeviceInterface* device = g_hooks.scale.load();
        device->SetConnectionKind(2);
        device->SetParameter("ip", kReleaseAddress);
        ASSERT_TRUE(
            device->UpdateFirmware(path.c_str(), false, true, OnProgressHooked, OnStatusHooked));

        ASSERT_TRUE(ReleasedAndLoadThreadEnded());
        EXPECT_EQ(Progress().size(), 1u);
        EXPECT_EQ(Statuses(), c.statuses);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(module_->Blocks().size(), c.blocksSent);
        responder_.reset();
    }
}

// A load that Release abandons reports its one status while the scale still
// stands, so that the status callback can still use it.
TEST_F(ModuleFirmware, TheStatusOfAnAbandonedLoadComesBeforeTheScaleIsTakenApart) {
    const std::string type = "WPY/KW 6/C/2 platform scale with an alibi memory";
    ethtest::UdpPeer scalePort(kIdentityAddress);
    std::thread scaleSide([&] {
        if (auto request = scalePort.Receive(5000)) {
            scalePort.Reply(*request, type + "\r\n581234\r\n2024-11-02\r\n");
        }
    });
    module_->mode = 'L';
    module_->blockDelay = 20ms;
    StartModule(kIdentityAddress);
    const std::string path = WriteImage(1000 * 128);
    g_hooks.Reset(GetVESKScaleInstance());
    CVESKDeviceInterface* device = g_hooks.scale.load();
    device->SetConnectionKind(2);
    device->SetParameter("protokol", "udp");
    device->SetParameter("ip", kIdentityAddress);
    device->SetParameter("port", std::to_string(scalePort.Port()).c_str());
    ASSERT_TRUE(device->Connect());
    EXPECT_STREQ(g_hooks.scale.load()->ReadSW9(300).type, type.c_str());
    scaleSide.join();

    ASSERT_TRUE(device->UpdateFirmware(path.c_str(), false, true, OnProgress, OnStatusHooked));
    while (Progress().size() < 3) {
        std::this_thread::sleep_for(10ms);
    }
    device->Release();
    EXPECT_EQ(Statuses().size(), 1u);
    EXPECT_EQ(g_hooks.typeOnStatus, type);
}

TEST_F(ModuleFirmware, OnlyTheEthernetConnectionUpdatesTheModule) {
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(0);
    EXPECT_FALSE(device->UpdateFirmware("image.bin", false, true, OnProgress, OnStatus));
    device->Release();
    EXPECT_TRUE(Statuses().empty());
}

}  // namespace
