// Kind USB on a machine without FTDI's D2XX library: nothing to list, nothing
// to open, and nothing else goes wrong.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "QELScale.h"
#include "usb/CUSB.h"

namespace {

TEST(UsbWithoutD2xx, NoConverterIsOfferedAndConnectFails) {
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    ASSERT_NE(scale, nullptr);
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(1);
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "USB");
    EXPECT_STREQ(device->GetParameter("count"), "?");
    EXPECT_STREQ(device->GetParameter("active"), "?");
    EXPECT_TRUE(device->SetParameter("device", "1"));
    EXPECT_TRUE(device->SetParameter("baud", "115200"));
    EXPECT_TRUE(device->SetParameter("parity", "E"));
    EXPECT_FALSE(device->SetParameter("timeout", "50"));
    EXPECT_FALSE(device->Connect());
    const std::string error = device->GetParameter("error");
    EXPECT_EQ(error.rfind("no-library: libftd2xx.so: ", 0), 0u) << error;
    EXPECT_TRUE(device->Disconnect());
    EXPECT_FALSE(device->SendSJ(100));
    device->SetConnectionKind(1);
    EXPECT_STREQ(device->GetParameter("count"), "?");
    device->SetConnectionKind(0);
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
    device->Release();
}

TEST(UsbWithoutD2xx, TheTransportFailsEveryLineOperation) {
    qel::LoadUsbLibrary();
    {
        qel::CUSB usb;
        EXPECT_FALSE(usb.Open());
        EXPECT_FALSE(usb.IsOpen());
        EXPECT_FALSE(usb.Write("ST\r\n"));
        std::string out = "stale";
        int32_t count = 10;
        EXPECT_FALSE(usb.Read(out, count));
        EXPECT_EQ(out, "");
        EXPECT_EQ(count, 0);
        EXPECT_FALSE(usb.SetReadTimeout(100));
        EXPECT_TRUE(usb.Close());
        EXPECT_EQ(usb.LastFailure().code, qel::FailureCode::kNoLibrary) << usb.LastFailure().Text();
        EXPECT_EQ(usb.LastFailure().detail.rfind("libftd2xx.so: ", 0), 0u)
            << "the reason names the library: " << usb.LastFailure().Text();
    }
    qel::ReleaseUsbLibrary();
}

}  // namespace
