// The D2XX library's lifetime as the scale object drives it: loaded and
// listed when the connection kind becomes USB, released when the kind
// changes or the object goes, and never before the converter is closed.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "QELScale.h"
#include "StandinD2xx.h"

namespace {

using namespace std::chrono_literals;
using qeltest::PtyPair;
using qeltest::StandinD2xx;
using Lines = std::vector<std::string>;

constexpr int32_t kSerial = 0;
constexpr int32_t kUsb = 1;

struct ScaleDeleter {
    void operator()(CVESKScaleInterface* scale) const {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
};
using ScalePtr = std::unique_ptr<CVESKScaleInterface, ScaleDeleter>;

class UsbConnectionKindTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin.Configure(StandinD2xx::ConverterOnPty("FT0001", 0x21, first.SlavePath()) +
                          StandinD2xx::ConverterOnPty("FT0002", 0x22, second.SlavePath()));
    }

    CVESKDeviceInterface* Device() { return scale.get(); }

    void ConnectFirst() {
        Device()->SetConnectionKind(kUsb);
        ASSERT_TRUE(Device()->SetParameter("device", "1"));
        ASSERT_TRUE(Device()->Connect());
    }

    // Lines the library's D2XX lifetime leaves in the log, without the
    // traffic in between.
    Lines Lifetime() const {
        Lines kept;
        for (const auto& line : standin.Log()) {
            bool lifetime = line == "load" || line == "unload" ||
                            line.rfind("FT_CreateDeviceInfoList", 0) == 0 ||
                            line.rfind("FT_Open", 0) == 0 || line.rfind("FT_Close", 0) == 0;
            if (lifetime) {
                kept.push_back(line);
            }
        }
        return kept;
    }

    StandinD2xx standin;
    PtyPair first;
    PtyPair second;
    ScalePtr scale{GetVESKScaleInstance()};
};

TEST_F(UsbConnectionKindTest, NothingIsLoadedBeforeTheKindIsChosen) {
    EXPECT_STREQ(Device()->GetParameter("ConnectionKind"), "USB");
    EXPECT_EQ(Device()->GetParameter("count"), nullptr);
    EXPECT_FALSE(Device()->Connect());
    scale.reset();
    EXPECT_EQ(standin.Log(), Lines{});
}

TEST_F(UsbConnectionKindTest, ChoosingUsbLoadsAndListsTheConverters) {
    Device()->SetConnectionKind(kUsb);
    EXPECT_STREQ(Device()->GetParameter("count"), "2");
    EXPECT_STREQ(Device()->GetParameter("active"), "0");
    EXPECT_STREQ(Device()->GetParameter("baud"), "9600");
    EXPECT_STREQ(Device()->GetParameter("parity"), "N");
    EXPECT_EQ(standin.Log(),
              (Lines{"load", "FT_CreateDeviceInfoList -> 0 2", "FT_GetDeviceInfoList -> 0 2"}));
    Device()->SetConnectionKind(kSerial);
    EXPECT_EQ(standin.Log().back(), "unload");
    EXPECT_EQ(Device()->GetParameter("count"), nullptr);
}

TEST_F(UsbConnectionKindTest, ChoosingUsbAgainReloadsAndListsAnew) {
    Device()->SetConnectionKind(kUsb);
    standin.Configure(StandinD2xx::ConverterOnPty("FT0003", 0x23, first.SlavePath()));
    Device()->SetConnectionKind(kUsb);
    EXPECT_STREQ(Device()->GetParameter("count"), "1");
    EXPECT_EQ(Lifetime(), (Lines{"load", "FT_CreateDeviceInfoList -> 0 2", "unload", "load",
                                 "FT_CreateDeviceInfoList -> 0 1"}));
}

TEST_F(UsbConnectionKindTest, ChangingTheKindWhileConnectedClosesBeforeTheRelease) {
    ConnectFirst();
    Device()->SetConnectionKind(kSerial);
    EXPECT_EQ(Lifetime(), (Lines{"load", "FT_CreateDeviceInfoList -> 0 2", "FT_Open 0 -> 0",
                                 "FT_Close 0 -> 0", "unload"}));
    EXPECT_TRUE(Device()->Disconnect());
}

TEST_F(UsbConnectionKindTest, ReleasingAConnectedObjectClosesBeforeTheRelease) {
    ConnectFirst();
    scale.reset();
    EXPECT_EQ(Lifetime(), (Lines{"load", "FT_CreateDeviceInfoList -> 0 2", "FT_Open 0 -> 0",
                                 "FT_Close 0 -> 0", "unload"}));
}

TEST_F(UsbConnectionKindTest, ConnectAndDisconnectGoThroughTheConverter) {
    ConnectFirst();
    EXPECT_TRUE(Device()->Disconnect());
    EXPECT_TRUE(Device()->Disconnect()) << "already closed";
    EXPECT_STREQ(Device()->GetParameter("active"), "1");
    EXPECT_EQ(standin.Calls("FT_Close"), Lines{"FT_Close 0 -> 0"});
    ASSERT_TRUE(Device()->SetParameter("device", "2"));
    EXPECT_TRUE(Device()->Connect());
    EXPECT_STREQ(Device()->GetParameter("active"), "2");
    EXPECT_EQ(standin.Calls("FT_Open"), (Lines{"FT_Open 0 -> 0", "FT_Open 1 -> 0"}));
}

// Two scale objects share the process's D2XX library: one object leaving USB
// must take neither the library nor the converter list from the other.
TEST_F(UsbConnectionKindTest, AnotherObjectLeavingUsbKeepsThisConverterUsable) {
    ConnectFirst();
    ScalePtr other{GetVESKScaleInstance()};
    CVESKDeviceInterface* otherDevice = other.get();
    otherDevice->SetConnectionKind(kUsb);
    otherDevice->SetConnectionKind(kSerial);
    other.reset();
    EXPECT_STREQ(Device()->GetParameter("count"), "2");
    EXPECT_TRUE(Device()->SetParameter("baud", "19200"));
    EXPECT_EQ(first.SlaveBaud(), 19200);
    EXPECT_TRUE(Device()->Disconnect());
    EXPECT_NE(standin.Log().back(), "unload") << "still this object's";
    scale.reset();
    EXPECT_EQ(standin.Log().back(), "unload") << "unloaded with its last user";
}

// A driver can take long to list its converters or to reload. Another object
// meanwhile keeps answering at once, from the list it has.
TEST_F(UsbConnectionKindTest, ASlowListingElsewhereHoldsNothingUp) {
    struct Case {
        const char* name;
        const char* slowCall;
        std::string converters;
        const char* countAfter;
    };
    const Case cases[] = {
        {"listing", "FT_CreateDeviceInfoList",
         StandinD2xx::ConverterOnPty("FT0003", 0x23, first.SlavePath()), "1"},
        {"reload", "FT_Reload", "device serial=FT0004 locid=0\n", "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Device()->SetConnectionKind(kUsb);
        ASSERT_STREQ(Device()->GetParameter("count"), "2");
        standin.Configure(c.converters + "slow " + c.slowCall + " 1500\n");
        ScalePtr other{GetVESKScaleInstance()};
        std::thread listing(
            [&] { static_cast<CVESKDeviceInterface*>(other.get())->SetConnectionKind(kUsb); });
        for (int attempt = 0;
             attempt < 500 && standin.IndexOf(std::string("slow ") + c.slowCall) < 0; ++attempt) {
            std::this_thread::sleep_for(10ms);
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_STREQ(Device()->GetParameter("count"), "2");
        EXPECT_TRUE(Device()->SetParameter("device", "2"));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
        listing.join();
        EXPECT_STREQ(Device()->GetParameter("count"), c.countAfter) << "the new listing counts";
        other.reset();
        standin.Configure(StandinD2xx::ConverterOnPty("FT0001", 0x21, first.SlavePath()) +
                          StandinD2xx::ConverterOnPty("FT0002", 0x22, second.SlavePath()));
        standin.ClearLog();
    }
}

}  // namespace
