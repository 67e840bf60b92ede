// Whole dialogues through the public interface over the Ethernet connection,
// against the scale simulator: its data port on 127.0.0.29 (no module there),
// and a scale behind its simulated Ethernet module on 127.0.0.28.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CallbackRecorder.h"
#include "LoopbackPeers.h"
#include "ScaleHandle.h"
#include "ScaleSimProcess.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;
using Statuses = std::vector<int32_t>;

const char* const kDataAddress = "127.0.0.29";
const char* const kModuleAddress = "127.0.0.28";

class EthernetEndToEnd : public ::testing::Test {
protected:
    void SetUp() override { recorder.Clear(); }
    void TearDown() override {
        device->StopListener();
        device->Disconnect();
    }

    // Connects like a caller would: kind 2, address and port, Connect.
    void ConnectTo(const std::string& address, int port, const char* protocol = nullptr) {
        device->SetConnectionKind(2);
        if (protocol != nullptr) {
            ASSERT_TRUE(device->SetParameter("protokol", protocol));
        }
        ASSERT_TRUE(device->SetParameter("ip", address.c_str()));
        ASSERT_TRUE(device->SetParameter("port", std::to_string(port).c_str()));
        ASSERT_TRUE(device->Connect());
    }

    Statuses ReadAlibi(size_t statuses, std::chrono::milliseconds within = 30s) {
        recorder.Clear();
        EXPECT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        return recorder.WaitForStatuses(statuses, within);
    }

    std::string Param(const char* key) {
        const char* value = device->GetParameter(key);
        return value == nullptr ? "<null>" : value;
    }

    CallbackRecorder& recorder = CallbackRecorder::Instance();
    qeltest::ScaleHandle scale = qeltest::NewScale();
    CVESKDeviceInterface* device = qeltest::DeviceOf(scale);
};

TEST_F(EthernetEndToEnd, AFullAlibiReadOverTcpAndUdp) {
    struct Case {
        const char* carrier;
        const char* protocol;
    };
    for (const Case c : {Case{"--tcp", nullptr}, Case{"--udp", "udp"}}) {
        SCOPED_TRACE(c.carrier);
        ScaleSimProcess sim({c.carrier, std::string(kDataAddress) + ":0", "--records", "200",
                             "--type", "WPT/4 C2", "--serial", "4711"});
        const bool tcp = c.protocol == nullptr;
        ConnectTo(tcp ? sim.TcpAddress() : sim.UdpAddress(), tcp ? sim.TcpPort() : sim.UdpPort(),
                  c.protocol);
        ASSERT_EQ(ReadAlibi(2), (Statuses{0, 1}));

        DeviceInfo info = scale->GetDeviceInfo();
        EXPECT_STREQ(info.type, "WPT/4 C2");
        EXPECT_EQ(info.serialNumber, 4711);
        ASSERT_EQ(scale->GetAlibiRecordCount(), 200);
        EXPECT_EQ(scale->GetAlibiRecord(1).recordId, 200);
        EXPECT_EQ(scale->GetAlibiRecord(200).recordId, 1);
        EXPECT_EQ(recorder.Progress().size(), 200u);
        EXPECT_TRUE(scale->SendST(1000));
        EXPECT_TRUE(device->Disconnect());
    }
}

TEST_F(EthernetEndToEnd, TheScaleHangsUpMidRead) {
    ScaleSimProcess sim(
        {"--tcp", std::string(kDataAddress) + ":0", "--records", "30", "--drop-after", "10"});
    ConnectTo(sim.TcpAddress(), sim.TcpPort());
    recorder.Clear();
    ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
    std::this_thread::sleep_for(1500ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device->StopListener());
    device->Disconnect();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(recorder.Statuses(), Statuses{0});
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "ETH");
}

TEST_F(EthernetEndToEnd, TheScaleBehindItsModule) {
    const std::string image = (std::filesystem::path(testing::TempDir()) /
                               ("module-image-" + std::to_string(::getpid()) + ".bin"))
                                  .string();
    const std::string loaded = image + ".loaded";
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 300; ++i) {
            out << static_cast<char>(i % 251 + 1);
        }
    }
    ScaleSimProcess sim({"--tcp", std::string(kModuleAddress) + ":0", "--tibbo", "--records", "50",
                         "--tibbo-owner", "Warehouse", "--tibbo-image-out", loaded});
    ConnectTo(sim.TcpAddress(), sim.TcpPort());

    // The module speaks to the scale at 9600 baud; the alibi transfer needs
    // 115200 and even parity on its serial side, set over its management port.
    EXPECT_EQ(Param("baud"), "9600");
    ASSERT_EQ(ReadAlibi(2), (Statuses{0, 1}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 50);
    EXPECT_EQ(Param("baud"), "9600");
    EXPECT_EQ(Param("owner"), "Warehouse");
    EXPECT_EQ(Param("mac"), "000.036.119.087.016.042");
    EXPECT_EQ(Param("firmVer"), "3.66/EM1000");
    EXPECT_EQ(Param("parity"), "<null>");

    // Then a new module firmware, over the same connection.
    recorder.Clear();
    ASSERT_TRUE(device->UpdateFirmware(image.c_str(), false, true, CallbackRecorder::OnProgress,
                                       CallbackRecorder::OnStatus));
    EXPECT_EQ(recorder.WaitForStatuses(1, 30s), Statuses{2});
    EXPECT_EQ(recorder.Progress(), (std::vector<double>{1.0 / 3, 2.0 / 3, 1.0}));
    std::ifstream sent(image, std::ios::binary);
    std::ifstream received(loaded, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(received), {}),
              std::string(std::istreambuf_iterator<char>(sent), {}));
    std::filesystem::remove(image);
    std::filesystem::remove(loaded);
}

// Two reads started in quick succession: the first one's listener may still
// switch the line and send "Salibiprn" while the second waits for it, and
// the scale answers it. Whatever the second read makes of that, the answers
// must not stay pending and spoil every later read.
TEST_F(EthernetEndToEnd, TwoQuickStartsLeaveLaterReadsWhole) {
    ScaleSimProcess sim({"--tcp", std::string(kDataAddress) + ":0", "--records", "5"});
    ConnectTo(sim.TcpAddress(), sim.TcpPort());
    for (int delayMs : {0, 5, 20}) {
        SCOPED_TRACE(delayMs);
        recorder.Clear();
        ASSERT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ASSERT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        recorder.WaitForStatuses(2, 5s);
        device->StopListener();
        for (int read = 0; read < 2; ++read) {
            ASSERT_EQ(ReadAlibi(2, 10s), (Statuses{0, 1})) << "read " << read + 1 << " after";
            EXPECT_EQ(scale->GetAlibiLineCount(), 5);
            EXPECT_EQ(scale->GetAlibiRecord(1).recordId, 5);
        }
    }
}

// A scale that sends a line twice (here its end line): the copy arrives after
// the read has ended, and the next read must not take it for its answer.
TEST_F(EthernetEndToEnd, ALineSentTwiceDoesNotSpoilTheNextRead) {
    ethtest::TcpListener listener("127.0.0.41");
    ConnectTo("127.0.0.41", listener.Port());
    std::unique_ptr<ethtest::TcpConnection> scaleSide = listener.Accept(3000);
    ASSERT_NE(scaleSide, nullptr);
    auto expect = [&](const std::string& request) {
        ASSERT_EQ(scaleSide->Receive(request.size(), 3000), request);
    };
    for (const char* number : {"7", "8"}) {
        SCOPED_TRACE(number);
        recorder.Clear();
        ASSERT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        expect("Salibitrn\r\n");
        scaleSide->Send("Malibitrn\r\n");
        expect("Salibiprn\r\n");
        scaleSide->Send("Type:T\r\nSerial:1\r\nDate:D\r\nRecords:1\r\nREC_ID;STB\r\n");
        expect("Salibinext\r\n");
        scaleSide->Send(std::string(number) + ";d;t;1;u;p;1;1;0;kg;0;1\r\n");
        expect("Salibinext\r\n");
        scaleSide->Send("Malibiprn\r\n");
        ASSERT_EQ(recorder.WaitForStatuses(2, 3s), (Statuses{0, 1}));
        scaleSide->Send("Malibiprn\r\n");
        std::this_thread::sleep_for(300ms);
        ASSERT_EQ(scale->GetAlibiLineCount(), 1);
        EXPECT_EQ(scale->GetAlibiRecord(1).recordId, std::stoi(number));
    }
}

}  // namespace
