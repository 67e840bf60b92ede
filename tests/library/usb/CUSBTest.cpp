// The USB transport against the stand-in D2XX library, with pseudo-terminals
// playing the scales behind the two converters.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "PtyPair.h"
#include "StandinD2xx.h"
#include "usb/CUSB.h"

namespace {

using namespace std::chrono_literals;
using qel::CUSB;
using qeltest::PtyPair;
using qeltest::StandinD2xx;
using Lines = std::vector<std::string>;

class UsbTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        standin.Configure(StandinD2xx::ConverterOnPty("FT0001", 0x21, first.SlavePath()) +
                          StandinD2xx::ConverterOnPty("FT0002", 0x22, second.SlavePath()));
        qel::LoadUsbLibrary();
    }
    void TearDown() override {
        usb.reset();
        qel::ReleaseUsbLibrary();
    }

    void OpenSecond() {
        ASSERT_TRUE(usb->SetParam("device", "2"));
        ASSERT_TRUE(usb->Open()) << usb->LastFailure().Text();
    }

    StandinD2xx standin;
    PtyPair first;
    PtyPair second;
    std::unique_ptr<CUSB> usb = std::make_unique<CUSB>();
};

TEST_F(UsbTransportTest, ListsTwoConvertersAndOpensTheChosenOne) {
    EXPECT_STREQ(usb->GetParam("count"), "2");
    EXPECT_STREQ(usb->GetParam("active"), "0");
    OpenSecond();
    EXPECT_TRUE(usb->IsOpen());
    EXPECT_STREQ(usb->GetParam("active"), "2");
    EXPECT_EQ(standin.LogFrom("FT_Open"), (Lines{
                                              "FT_Open 1 -> 0",
                                              "FT_SetTimeouts 1 5 20 -> 0",
                                              "FT_SetDataCharacteristics 1 8 0 0 -> 0",
                                              "FT_SetBaudRate 1 9600 -> 0",
                                              "FT_SetLatencyTimer 1 2 -> 0",
                                          }));
    EXPECT_EQ(second.SlaveBaud(), 9600);
    EXPECT_TRUE(usb->Close());
    EXPECT_FALSE(usb->IsOpen());
    EXPECT_EQ(standin.Calls("FT_Close"), Lines{"FT_Close 1 -> 0"});
    EXPECT_STREQ(usb->GetParam("active"), "2") << "the last Open's choice stays";
}

TEST_F(UsbTransportTest, DeviceNumbersOutsideTheListAreTakenAndIgnored) {
    for (const char* number : {"3", "0", "-1", "x", "", "1x"}) {
        EXPECT_TRUE(usb->SetParam("device", number)) << number;
    }
    EXPECT_FALSE(usb->Open()) << "no converter chosen yet";
    EXPECT_FALSE(usb->IsOpen());
    EXPECT_STREQ(usb->GetParam("active"), "0");
    EXPECT_TRUE(usb->SetParam("device", "1"));
    EXPECT_TRUE(usb->SetParam("device", "3"));
    ASSERT_TRUE(usb->Open());
    EXPECT_EQ(standin.Calls("FT_Open"), Lines{"FT_Open 0 -> 0"});
    EXPECT_STREQ(usb->GetParam("active"), "1");
}

TEST_F(UsbTransportTest, OpeningTwiceOpensTheConverterOnce) {
    OpenSecond();
    EXPECT_TRUE(usb->Open());
    EXPECT_EQ(standin.Calls("FT_Open").size(), 1u);
}

TEST_F(UsbTransportTest, ParametersWhileClosed) {
    struct Case {
        const char* key;
        const char* value;
        bool result;
    } cases[] = {
        {"baud", "19200", true},  {"baud", "300", false},   {"baud", "0", false},
        {"baud", "-9600", false}, {"baud", "fast", false},  {"parity", "E", true},
        {"parity", "e", false},   {"parity", "EE", false},  {"parity", "", false},
        {"bits", "8", true},      {"bits", "7", true},      {"bits", "9", false},
        {"bits", "07", false},    {"timeout", "50", false}, {"COM", "1", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(usb->SetParam(c.key, c.value), c.result) << c.key << "=" << c.value;
    }
    EXPECT_FALSE(usb->SetParam(nullptr, "1"));
    EXPECT_FALSE(usb->SetParam("baud", nullptr));
    EXPECT_STREQ(usb->GetParam("baud"), "19200");
    EXPECT_STREQ(usb->GetParam("parity"), "E");
    EXPECT_EQ(usb->GetParam("xyz"), nullptr);
    EXPECT_EQ(usb->GetParam(nullptr), nullptr);
    EXPECT_TRUE(standin.Calls("FT_SetDataCharacteristics").empty());
    EXPECT_TRUE(standin.Calls("FT_SetBaudRate").empty());
}

// The stored "bits" and "parity" reach the converter when it opens, and
// again whenever one of them is set on the open line.
TEST_F(UsbTransportTest, ParityAndBitsReachTheOpenConverter) {
    ASSERT_TRUE(usb->SetParam("parity", "E"));
    ASSERT_TRUE(usb->SetParam("bits", "7"));
    ASSERT_TRUE(usb->SetParam("baud", "4800"));
    OpenSecond();
    EXPECT_EQ(standin.Calls("FT_SetDataCharacteristics"),
              Lines{"FT_SetDataCharacteristics 1 7 0 2 -> 0"});
    EXPECT_EQ(standin.Calls("FT_SetBaudRate"), Lines{"FT_SetBaudRate 1 4800 -> 0"});
    EXPECT_EQ(second.SlaveBaud(), 4800);

    struct Case {
        const char* key;
        const char* value;
        const char* call;
    } cases[] = {
        {"parity", "E", "FT_SetDataCharacteristics 1 7 0 2 -> 0"},
        {"parity", "O", "FT_SetDataCharacteristics 1 7 0 1 -> 0"},
        {"bits", "8", "FT_SetDataCharacteristics 1 8 0 1 -> 0"},
        {"parity", "N", "FT_SetDataCharacteristics 1 8 0 0 -> 0"},
        {"baud", "115200", "FT_SetBaudRate 1 115200 -> 0"},
    };
    for (const auto& c : cases) {
        standin.ClearLog();
        EXPECT_TRUE(usb->SetParam(c.key, c.value)) << c.key << "=" << c.value;
        EXPECT_EQ(standin.Log(), Lines{c.call}) << c.key << "=" << c.value;
    }
    EXPECT_EQ(second.SlaveBaud(), 115200);
    EXPECT_FALSE(usb->SetParam("bits", "9"));
    EXPECT_FALSE(usb->SetParam("parity", "X"));
}

// A rate outside the table changes nothing on the line, and says so.
TEST_F(UsbTransportTest, ARefusedBaudOnTheOpenLineIsReportedAndNotSentAgain) {
    OpenSecond();
    standin.ClearLog();
    for (const char* rate : {"300", "12345", "0", "fast"}) {
        EXPECT_FALSE(usb->SetParam("baud", rate)) << rate;
    }
    EXPECT_TRUE(standin.Log().empty());
    EXPECT_STREQ(usb->GetParam("baud"), "9600");
    EXPECT_TRUE(usb->SetParam("baud", "19200"));
    EXPECT_EQ(standin.Log(), Lines{"FT_SetBaudRate 1 19200 -> 0"});
}

TEST_F(UsbTransportTest, ReadAsksD2xxForAtMost1000Bytes) {
    OpenSecond();
    const std::string sent("MT\0\r\n", 5);
    second.Send(sent);
    std::string out = "stale";
    int32_t count = 5000;
    EXPECT_TRUE(usb->Read(out, count));
    EXPECT_EQ(out, sent);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(standin.Calls("FT_Read"), Lines{"FT_Read 1 1000 -> 0 5"});
}

TEST_F(UsbTransportTest, ReadOnASilentLineWaitsTheReadTimeout) {
    OpenSecond();
    std::string out = "stale";
    int32_t count = 10;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(usb->Read(out, count));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out, "");
    EXPECT_EQ(count, 0);
    EXPECT_GE(waited, 80ms);
    EXPECT_LT(waited, 2s);
}

TEST_F(UsbTransportTest, ReadAndWriteWhileClosedFail) {
    std::string out = "stale";
    int32_t count = 10;
    EXPECT_FALSE(usb->Read(out, count));
    EXPECT_EQ(out, "");
    EXPECT_EQ(count, 0);
    EXPECT_FALSE(usb->Write("ST\r\n"));
    EXPECT_FALSE(usb->SetReadTimeout(50));
    EXPECT_TRUE(usb->Close());
    EXPECT_TRUE(standin.Calls("FT_Read").empty());
    EXPECT_TRUE(standin.Calls("FT_Write").empty());
}

TEST_F(UsbTransportTest, ExchangesLinesWithTheScale) {
    OpenSecond();
    EXPECT_TRUE(usb->Write("ST\r\n"));
    EXPECT_EQ(second.ReceiveUntil("\r\n"), "ST\r\n");
    second.Send("MT\r\n");
    std::string line;
    EXPECT_TRUE(usb->ReadLine(line, 100, 1000));
    EXPECT_EQ(line, "MT\r\n");
    EXPECT_TRUE(first.ReceiveSome(0).empty()) << "the other converter stays quiet";
}

TEST_F(UsbTransportTest, WriteSendsLongTextsWhole) {
    OpenSecond();
    std::string text;
    for (int i = 0; i < 60; ++i) {
        text += "line " + std::to_string(i) + " of a firmware file\r\n";
    }
    ASSERT_GT(text.size(), 1000u);
    EXPECT_TRUE(usb->Write(text));
    EXPECT_EQ(second.ReceiveUntil("line 59 of a firmware file\r\n"), text);
}

TEST_F(UsbTransportTest, SetReadTimeoutSetsTheWaitOnASilentLine) {
    OpenSecond();
    ASSERT_TRUE(usb->SetReadTimeout(300));
    std::string out;
    int32_t count = 10;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(usb->Read(out, count));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 280ms);
}

// D2XX reads in short slices: a reply shorter than asked for is not held back
// for the whole wait.
TEST_F(UsbTransportTest, AShortReplyIsHandedOverAtOnce) {
    OpenSecond();
    second.Send("MT\r\n");
    std::string out;
    int32_t count = 100;
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(usb->Read(out, count));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 90ms);
    EXPECT_EQ(out, "MT\r\n");
    EXPECT_EQ(count, 4);
}

TEST_F(UsbTransportTest, SetReadTimeoutProgramsTheConverter) {
    OpenSecond();
    standin.ClearLog();
    EXPECT_TRUE(usb->SetReadTimeout(300));
    EXPECT_TRUE(usb->SetReadTimeout(3));
    EXPECT_FALSE(usb->SetReadTimeout(0)) << "D2XX would wait forever";
    EXPECT_FALSE(usb->SetReadTimeout(-5));
    EXPECT_EQ(standin.Log(), (Lines{"FT_SetTimeouts 1 5 10 -> 0", "FT_SetTimeouts 1 3 10 -> 0"}));
}

TEST_F(UsbTransportTest, AVanishedPeerFailsReadsWithoutSpinning) {
    OpenSecond();
    second.CloseMaster();
    std::string out;
    int32_t count = 100;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(usb->Read(out, count));
    EXPECT_EQ(count, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 80ms);
    EXPECT_EQ(standin.Calls("FT_Read"), Lines{"FT_Read 1 100 -> 4"});
}

// Listings the library must refuse: it then offers no converter at all.
struct RefusedListing {
    const char* name;
    const char* config;
    bool reloads;
};

void PrintTo(const RefusedListing& listing, std::ostream* os) {
    *os << listing.name;
}

class UsbListingTest : public ::testing::TestWithParam<RefusedListing> {
protected:
    void TearDown() override {
        usb.reset();
        qel::ReleaseUsbLibrary();
    }
    StandinD2xx standin;
    std::unique_ptr<CUSB> usb;
};

TEST_P(UsbListingTest, OffersNoConverter) {
    standin.Configure(GetParam().config);
    qel::LoadUsbLibrary();
    usb = std::make_unique<CUSB>();
    EXPECT_STREQ(usb->GetParam("count"), "?");
    EXPECT_STREQ(usb->GetParam("active"), "?");
    EXPECT_TRUE(usb->SetParam("device", "1"));
    EXPECT_FALSE(usb->Open());
    EXPECT_TRUE(standin.Calls("FT_Open").empty());
    EXPECT_EQ(standin.Calls("FT_Reload"),
              GetParam().reloads ? Lines{"FT_Reload 0 0 -> 0"} : Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Refused, UsbListingTest,
    ::testing::Values(
        RefusedListing{"NoConverter", "", false},
        RefusedListing{"ConverterAtLocationZero",
                       "device serial=FT0001 locid=0x21\ndevice serial=FT0002 locid=0\n", true},
        RefusedListing{"ListingFails", "device locid=0x21\nfail FT_CreateDeviceInfoList\n", false},
        RefusedListing{"DetailsFail", "device locid=0x21\nfail FT_GetDeviceInfoList 18\n", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A D2XX call that fails on the way through Open.
struct FailingCall {
    const char* function;
    bool openResult;
    // FT_Close calls: a converter whose set-up failed is closed at once.
    size_t closes;
};

void PrintTo(const FailingCall& call, std::ostream* os) {
    *os << call.function;
}

class UsbFailingCallTest : public ::testing::TestWithParam<FailingCall> {
protected:
    void TearDown() override {
        usb.reset();
        qel::ReleaseUsbLibrary();
    }

    void OpenWith(const std::string& failure) {
        standin.Configure(StandinD2xx::ConverterOnPty("FT0001", 0x21, scale.SlavePath()) + failure +
                          "\n");
        qel::LoadUsbLibrary();
        usb = std::make_unique<CUSB>();
        ASSERT_TRUE(usb->SetParam("device", "1"));
        ASSERT_TRUE(usb->SetParam("parity", "O"));
    }

    StandinD2xx standin;
    PtyPair scale;
    std::unique_ptr<CUSB> usb;
};

TEST_P(UsbFailingCallTest, OpenReportsItAndLeavesNothingOpen) {
    const FailingCall& c = GetParam();
    OpenWith(std::string("fail ") + c.function);
    EXPECT_EQ(usb->Open(), c.openResult);
    EXPECT_EQ(usb->IsOpen(), c.openResult);
    EXPECT_STREQ(usb->GetParam("active"), "1");
    EXPECT_EQ(standin.Calls("FT_Close").size(), c.closes);
    EXPECT_TRUE(usb->Close());
    EXPECT_FALSE(usb->IsOpen());
    EXPECT_EQ(standin.Calls("FT_Close").size(), c.openResult ? 1u : c.closes);
}

INSTANTIATE_TEST_SUITE_P(Calls, UsbFailingCallTest,
                         ::testing::Values(FailingCall{"FT_Open", false, 0},
                                           FailingCall{"FT_SetTimeouts", false, 1},
                                           FailingCall{"FT_SetDataCharacteristics", false, 1},
                                           FailingCall{"FT_SetBaudRate", false, 1},
                                           FailingCall{"FT_SetLatencyTimer", true, 0}),
                         [](const auto& info) { return std::string(info.param.function); });

// The steps of the set-up that make Open fail.
class UsbFailedSetUpTest : public UsbFailingCallTest {};

// The next Open after a failed set-up sets the converter up again, whole.
TEST_P(UsbFailedSetUpTest, TheNextOpenSetsTheConverterUpAgain) {
    OpenWith(std::string("fail ") + GetParam().function + " 4 once");
    ASSERT_FALSE(usb->Open());
    standin.ClearLog();
    ASSERT_TRUE(usb->Open()) << usb->LastFailure().Text();
    EXPECT_EQ(standin.Log(), (Lines{
                                 "FT_Open 0 -> 0",
                                 "FT_SetTimeouts 0 5 20 -> 0",
                                 "FT_SetDataCharacteristics 0 8 0 1 -> 0",
                                 "FT_SetBaudRate 0 9600 -> 0",
                                 "FT_SetLatencyTimer 0 2 -> 0",
                             }));
}

INSTANTIATE_TEST_SUITE_P(Steps, UsbFailedSetUpTest,
                         ::testing::Values(FailingCall{"FT_SetTimeouts", false, 1},
                                           FailingCall{"FT_SetDataCharacteristics", false, 1},
                                           FailingCall{"FT_SetBaudRate", false, 1}),
                         [](const auto& info) { return std::string(info.param.function); });

TEST(UsbFailingCall, AFailedCloseStillCountsAsClosed) {
    StandinD2xx standin;
    PtyPair scale;
    standin.Configure(StandinD2xx::ConverterOnPty("FT0001", 0x21, scale.SlavePath()) +
                      "fail FT_Close\nfail FT_Write\n");
    qel::LoadUsbLibrary();
    {
        CUSB usb;
        ASSERT_TRUE(usb.SetParam("device", "1"));
        ASSERT_TRUE(usb.Open());
        EXPECT_FALSE(usb.Write("ST\r\n"));
        EXPECT_FALSE(usb.Close());
        EXPECT_FALSE(usb.IsOpen());
        EXPECT_TRUE(usb.Close()) << "nothing left to close";
    }
    EXPECT_EQ(standin.Calls("FT_Close"), Lines{"FT_Close 0 -> 4"});
    qel::ReleaseUsbLibrary();
}

}  // namespace

// Why Open failed, naming the converter as the program lists it.
TEST_F(UsbFailingCallTest, OpenSaysWhyTheConverterCannotBeUsed) {
    const struct {
        const char* failure;
        const char* reason;
    } cases[] = {
        {"fail FT_Open 3",
         "busy: USB1 (serial FT0001): in use by another program or by the ftdi_sio driver "
         "(FT_Open: D2XX status 3)"},
        {"fail FT_Open 2",
         "not-found: USB1 (serial FT0001): no such converter (FT_Open: D2XX "
         "status 2)"},
        {"fail FT_SetBaudRate 7",
         "invalid: USB1 (serial FT0001): the converter refuses the setting (FT_SetBaudRate: D2XX "
         "status 7)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        OpenWith(c.failure);
        EXPECT_FALSE(usb->Open());
        EXPECT_EQ(usb->LastFailure().Text(), c.reason);
        usb.reset();
        qel::ReleaseUsbLibrary();
    }
    OpenWith("");
    usb = std::make_unique<CUSB>();  // nothing chosen
    EXPECT_FALSE(usb->Open());
    EXPECT_EQ(usb->LastFailure().Text(), "invalid: USB: no converter chosen");
}
