// An older D2XX library without FT_SetLatencyTimer: the converter still
// opens and carries the line, only without the shorter latency.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PtyPair.h"
#include "StandinD2xx.h"
#include "usb/CUSB.h"

namespace {

using Lines = std::vector<std::string>;

TEST(UsbOlderD2xx, OpensAndExchangesWithoutTheLatencyTimer) {
    qeltest::StandinD2xx standin;
    qeltest::PtyPair scale;
    standin.Configure(qeltest::StandinD2xx::ConverterOnPty("FT0001", 0x21, scale.SlavePath()));
    qel::LoadUsbLibrary();
    {
        qel::CUSB usb;
        ASSERT_TRUE(usb.SetParam("device", "1"));
        ASSERT_TRUE(usb.Open()) << usb.LastFailure().Text();
        EXPECT_EQ(standin.LogFrom("FT_Open"),
                  (Lines{"FT_Open 0 -> 0", "FT_SetTimeouts 0 5 20 -> 0",
                         "FT_SetDataCharacteristics 0 8 0 0 -> 0", "FT_SetBaudRate 0 9600 -> 0"}));
        EXPECT_TRUE(usb.Write("SJ\r\n"));
        EXPECT_EQ(scale.ReceiveUntil("\r\n"), "SJ\r\n");
        scale.Send("MJ\r\n");
        std::string line;
        EXPECT_TRUE(usb.ReadLine(line, 100, 1000));
        EXPECT_EQ(line, "MJ\r\n");
    }
    qel::ReleaseUsbLibrary();
}

}  // namespace
