// Whole dialogues through the public interface, CUSB and the stand-in D2XX
// library, with the scale simulator behind the converter.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>
#include <vector>

#include "CallbackRecorder.h"
#include "ScaleHandle.h"
#include "ScaleSimProcess.h"
#include "StandinD2xx.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;
using qeltest::StandinD2xx;
using Lines = std::vector<std::string>;

class UsbAlibiReadTest : public ::testing::Test {
protected:
    void SetUp() override { recorder.Clear(); }
    void TearDown() override {
        device->StopListener();
        device->Disconnect();
    }

    void ConnectThroughFirstConverter(const std::string& peer) {
        standin.Configure("device serial=FTSIM01 locid=0x1011 peer=" + peer +
                          "\ndevice serial=FTSPARE locid=0x1012\n");
        device->SetConnectionKind(1);
        ASSERT_STREQ(device->GetParameter("count"), "2");
        ASSERT_TRUE(device->SetParameter("device", "1"));
        ASSERT_TRUE(device->SetParameter("baud", "9600"));
        ASSERT_TRUE(device->SetParameter("parity", "N"));
        ASSERT_TRUE(device->SetParameter("bits", "8"));
        ASSERT_TRUE(device->Connect());
    }

    StandinD2xx standin;
    CallbackRecorder& recorder = CallbackRecorder::Instance();
    qeltest::ScaleHandle scale = qeltest::NewScale();
    CVESKDeviceInterface* device = qeltest::DeviceOf(scale);
};

TEST_F(UsbAlibiReadTest, AFullReadThroughTheConverter) {
    ScaleSimProcess sim({"--pty", "--records", "100", "--type", "USB SIM", "--serial", "4242"});
    ConnectThroughFirstConverter("pty:" + sim.PtyPath());

    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
    ASSERT_EQ(recorder.WaitForStatuses(2, 30s), (std::vector<int32_t>{0, 1}));
    auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    std::cout << "100 records in " << took.count() << " s\n";

    DeviceInfo info = scale->GetDeviceInfo();
    EXPECT_STREQ(info.type, "USB SIM");
    EXPECT_EQ(info.serialNumber, 4242);
    ASSERT_EQ(scale->GetAlibiRecordCount(), 100);
    EXPECT_EQ(scale->GetAlibiRecord(1).recordId, 100) << "the scale counts down";
    EXPECT_EQ(scale->GetAlibiRecord(100).recordId, 1);
    EXPECT_EQ(recorder.Progress().size(), 100u);

    // The transfer ran at 115200 baud with even parity on the converter,
    // and the line was set back afterwards.
    Lines settings;
    for (const auto& line : standin.LogFrom("FT_SetLatencyTimer")) {
        if (line.rfind("FT_SetBaudRate", 0) == 0 ||
            line.rfind("FT_SetDataCharacteristics", 0) == 0) {
            settings.push_back(line);
        }
    }
    EXPECT_EQ(settings,
              (Lines{"FT_SetBaudRate 0 115200 -> 0", "FT_SetDataCharacteristics 0 8 0 2 -> 0",
                     "FT_SetBaudRate 0 9600 -> 0", "FT_SetDataCharacteristics 0 8 0 0 -> 0"}));
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
    EXPECT_TRUE(scale->SendST(500)) << "the scale understands ordinary commands again";
    EXPECT_TRUE(device->Disconnect());
    EXPECT_EQ(standin.Calls("FT_Close"), Lines{"FT_Close 0 -> 0"});
}

TEST_F(UsbAlibiReadTest, CommandsThroughAConverterOnATcpPeer) {
    ScaleSimProcess sim({"--tcp", "127.0.0.71:0"});
    ConnectThroughFirstConverter("tcp:" + sim.TcpAddress() + ":" + std::to_string(sim.TcpPort()));
    EXPECT_TRUE(device->SendSJ(500));
    EXPECT_TRUE(scale->SendST(500));
}

}  // namespace
