// The scale object's device operations, through the public interface.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "PtyPair.h"
#include "QELScale.h"

namespace {

using namespace std::chrono_literals;

struct ScaleDeleter {
    void operator()(CVESKScaleInterface* scale) const {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
};
using ScalePtr = std::unique_ptr<CVESKScaleInterface, ScaleDeleter>;

ScalePtr NewScale() {
    return ScalePtr(GetVESKScaleInstance());
}

CVESKDeviceInterface* Device(const ScalePtr& scale) {
    return scale.get();
}

TEST(DeviceTest, ConnectionKindAnswers) {
    auto scale = NewScale();
    ASSERT_NE(scale, nullptr);
    CVESKDeviceInterface* device = Device(scale);
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "USB");
    device->SetConnectionKind(0);
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "RS232");
    EXPECT_FALSE(device->SetParameter("ConnectionKind", "2")) << "not settable";
    EXPECT_EQ(device->GetParameter("connectionkind"), nullptr) << "exact key comparison";
    device->SetConnectionKind(2);
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "ETH");
    device->SetConnectionKind(7);
    EXPECT_EQ(device->GetParameter("ConnectionKind"), nullptr);
    EXPECT_EQ(device->GetParameter("baud"), nullptr);
    EXPECT_FALSE(device->SetParameter("baud", "9600"));
    EXPECT_FALSE(device->Connect());
    EXPECT_TRUE(device->Disconnect());
}

TEST(DeviceTest, ParametersGoToTheSerialTransport) {
    auto scale = NewScale();
    CVESKDeviceInterface* device = Device(scale);
    device->SetConnectionKind(0);
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
    EXPECT_TRUE(device->SetParameter("baud", "38400"));
    EXPECT_STREQ(device->GetParameter("baud"), "38400");
    EXPECT_FALSE(device->SetParameter("baud", "fast"));
    EXPECT_FALSE(device->SetParameter("bogus", "1"));
    EXPECT_FALSE(device->SetParameter(nullptr, nullptr));
    EXPECT_EQ(device->GetParameter("bogus"), nullptr);
    EXPECT_EQ(device->GetParameter(nullptr), nullptr);
    EXPECT_NE(device->GetParameter("comports"), nullptr);
    EXPECT_TRUE(device->Disconnect()) << "never opened";
    // A new kind starts from a transport in its default state.
    device->SetConnectionKind(0);
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
}

TEST(DeviceTest, ConnectOpensTheLineAndDisconnectClosesIt) {
    qeltest::PtyPair pty;
    auto scale = NewScale();
    CVESKDeviceInterface* device = Device(scale);
    device->SetConnectionKind(0);
    ASSERT_TRUE(device->SetParameter("COM", pty.SlavePath().c_str()));
    ASSERT_TRUE(device->SetParameter("baud", "19200"));
    ASSERT_TRUE(device->Connect());
    EXPECT_EQ(pty.SlaveBaud(), 19200);
    EXPECT_TRUE(device->Disconnect());
    EXPECT_TRUE(device->Disconnect());
    ASSERT_TRUE(device->Connect()) << "steps may be repeated on one object";
    EXPECT_TRUE(device->Disconnect());
    device->SetParameter("COM", "/dev/does-not-exist-qel");
    EXPECT_FALSE(device->Connect());
}

TEST(DeviceTest, DeviceInfoBeforeAnyRead) {
    auto scale = NewScale();
    DeviceInfo info = scale->GetDeviceInfo();
    EXPECT_STREQ(info.type, "");
    EXPECT_EQ(info.serialNumber, -1);
    EXPECT_STREQ(info.productionDate, "");
    EXPECT_EQ(info.extraText1, nullptr);
    EXPECT_STREQ(info.recordHeader, "");
    EXPECT_EQ(info.extraNumber, 0);
    EXPECT_EQ(info.extraText2, nullptr);
    EXPECT_EQ(scale->GetAlibiRecordCount(), 0);
    EXPECT_THROW(scale->GetAlibiRecord(1), std::out_of_range);
}

TEST(DeviceTest, CommandsWithoutAConnectionFail) {
    auto scale = NewScale();
    EXPECT_FALSE(scale->SendST(50));
    EXPECT_FALSE(Device(scale)->SendSJ(50));
    EXPECT_FALSE(scale->ReadSx3(50).received);
    EXPECT_FALSE(scale->SetWiFiParameter("ssid", "x")) << "no WiFi module before Connect";
    EXPECT_EQ(scale->GetWiFiParameter("dhcp"), nullptr);
}

// Callbacks are plain functions: each object of this test gets its own.
std::atomic<int> firstCalls{0};
std::atomic<int> secondCalls{0};
std::atomic<double> firstValue{0};
std::atomic<double> secondValue{0};
void FirstWeight(WeighingResult r) {
    firstValue = r.value;
    ++firstCalls;
}
void SecondWeight(WeighingResult r) {
    secondValue = r.value;
    ++secondCalls;
}

template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds within = 3s) {
    auto end = std::chrono::steady_clock::now() + within;
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

TEST(DeviceTest, TwoObjectsAreIndependent) {
    qeltest::PtyPair firstLine;
    qeltest::PtyPair secondLine;
    auto first = NewScale();
    auto second = NewScale();
    ASSERT_NE(first.get(), second.get());
    Device(first)->SetConnectionKind(0);
    Device(second)->SetConnectionKind(0);
    Device(first)->SetParameter("COM", firstLine.SlavePath().c_str());
    Device(second)->SetParameter("COM", secondLine.SlavePath().c_str());
    Device(second)->SetParameter("baud", "57600");
    EXPECT_STREQ(Device(first)->GetParameter("baud"), "9600");
    ASSERT_TRUE(Device(first)->Connect());
    ASSERT_TRUE(Device(second)->Connect());

    firstCalls = secondCalls = 0;
    ASSERT_TRUE(first->RequestSI(FirstWeight, 2000));
    ASSERT_TRUE(second->RequestSI(SecondWeight, 2000));
    EXPECT_EQ(firstLine.ReceiveUntil("SI\r\n"), "SI\r\n");
    EXPECT_EQ(secondLine.ReceiveUntil("SI\r\n"), "SI\r\n");
    secondLine.Send("      2.000 kg\r\n");
    firstLine.Send("      1.000 kg\r\n");
    ASSERT_TRUE(WaitUntil([] { return firstCalls == 1 && secondCalls == 1; }));
    EXPECT_DOUBLE_EQ(firstValue, 1.0);
    EXPECT_DOUBLE_EQ(secondValue, 2.0);
}

std::atomic<int> lateCalls{0};
void CountWeight(WeighingResult) {
    ++lateCalls;
}

TEST(DeviceTest, ReleaseWhileListeningStopsTheListenerFirst) {
    qeltest::PtyPair pty;
    auto* scale = GetVESKScaleInstance();
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(0);
    device->SetParameter("COM", pty.SlavePath().c_str());
    ASSERT_TRUE(device->Connect());
    lateCalls = 0;
    ASSERT_TRUE(scale->RequestSI(CountWeight, 0));  // listens without limit
    pty.ReceiveUntil("SI\r\n");
    auto start = std::chrono::steady_clock::now();
    device->Release();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    pty.Send("      1.000 kg\r\n");
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(lateCalls, 0);
}

TEST(DeviceTest, APortThatVanishesDuringADialogue) {
    auto pty = std::make_unique<qeltest::PtyPair>();
    auto scale = NewScale();
    CVESKDeviceInterface* device = Device(scale);
    device->SetConnectionKind(0);
    device->SetParameter("COM", pty->SlavePath().c_str());
    ASSERT_TRUE(device->Connect());
    lateCalls = 0;
    scale->RequestSI(CountWeight, 300);
    pty->CloseMaster();
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(scale->SendST(100));
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device->StopListener());
    EXPECT_TRUE(device->Disconnect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(lateCalls, 0);
}

}  // namespace
