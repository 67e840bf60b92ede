#include <chrono>
#include <clocale>

#include "ScaleOnPty.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;

class WeighingCommandsTest : public qeltest::ScaleOnPty {};

TEST_F(WeighingCommandsTest, AcknowledgedCommandsSendTheirBytesAndCheckTheReply) {
    struct Case {
        const char* name;
        std::function<bool()> call;
        std::string sent;
        std::string ack;
    } cases[] = {
        {"ST", [&] { return scale->SendST(300); }, "ST\r\n", "MT\r\n"},
        {"SZ", [&] { return scale->SendSZ(300); }, "SZ\r\n", "MZ\r\n"},
        {"SS", [&] { return scale->SendSS(300); }, "SS\r\n", "MS\r\n"},
        {"SJ", [&] { return device->SendSJ(300); }, "SJ\r\n", "MJ\r\n"},
        {"SL", [&] { return scale->SendSL(12.5, 300); }, "SL12.5\r\n", "ML\r\n"},
        {"SH", [&] { return scale->SendSH(100, 300); }, "SH100\r\n", "MH\r\n"},
        {"SL", [&] { return scale->SendSL(0.5, 300); }, "SL0.5\r\n", "ML\r\n"},
    };
    for (auto& c : cases) {
        std::thread scaleSide([&] { Answer(c.sent, c.ack); });
        EXPECT_TRUE(c.call()) << c.name;
        scaleSide.join();
    }
    // A wrong acknowledgement and silence both fail.
    std::thread scaleSide([&] { Answer("ST\r\n", "MZ\r\n"); });
    EXPECT_FALSE(scale->SendST(300));
    scaleSide.join();
    EXPECT_FALSE(scale->SendSZ(200));
}

TEST_F(WeighingCommandsTest, NumbersIgnoreADecimalCommaLocale) {
    const char* previous = std::setlocale(LC_ALL, nullptr);
    std::string saved = previous != nullptr ? previous : "C";
    if (std::setlocale(LC_ALL, "pl_PL.UTF-8") == nullptr) {
        GTEST_SKIP() << "pl_PL.UTF-8 is not generated (scripts/setup.sh does it)";
    }
    peer = std::thread([&] { Answer("SL1.25\r\n", "ML\r\n"); });
    EXPECT_TRUE(scale->SendSL(1.25, 300));
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(WeighingCommandsTest, ReadSx3DecodesTheReply) {
    struct Case {
        std::string reply;
        bool status;
        double value;
        int32_t unit;
    } cases[] = {
        {"S 12.500 kgH\r\n", true, 12.5, 4},
        {"H  0.75 lb\r\n", false, 0.75, 5},
        {"S  12.500 g\r\n", true, 0, 3},  // no "H": the number is not decoded
    };
    for (const auto& c : cases) {
        peer = std::thread([&] { Answer("Sx3\r\n", c.reply); });
        WeighingResult r = scale->ReadSx3(150);
        peer.join();
        EXPECT_TRUE(r.received) << c.reply;
        EXPECT_TRUE(r.noHighLow);
        EXPECT_EQ(r.status, c.status ? 1 : 0) << c.reply;
        EXPECT_DOUBLE_EQ(r.value, c.value) << c.reply;
        EXPECT_EQ(r.unit, c.unit) << c.reply;
    }
    WeighingResult silent = scale->ReadSx3(150);
    EXPECT_FALSE(silent.received);
    EXPECT_TRUE(silent.noHighLow);
    EXPECT_EQ(silent.status, 0);
    EXPECT_EQ(silent.value, 0);
    EXPECT_EQ(silent.unit, 0);
}

TEST_F(WeighingCommandsTest, RequestSIHandsOneWeightToTheCallback) {
    struct Case {
        std::string line;
        double value;
        int32_t unit;
        bool noHighLow;
    } cases[] = {
        {"-     1.500  \r\n", -1.5, 0, true},  {"     2.250kg \r\n", 2.25, 4, true},
        {"     2.250oz \r\n", 2.25, 6, true},  {"     2.250ozt\r\n", 2.25, 7, true},
        {"     2.250lb \r\n", 2.25, 5, false},  // "lb" holds the letter L
    };
    for (const auto& c : cases) {
        recorder.Clear();
        ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 1000));
        Answer("SI\r\n", c.line);
        auto weights = recorder.WaitForWeights(1, 3s);
        ASSERT_EQ(weights.size(), 1u) << c.line;
        EXPECT_TRUE(weights[0].received);
        EXPECT_EQ(weights[0].status, 1);
        EXPECT_DOUBLE_EQ(weights[0].value, c.value) << c.line;
        EXPECT_EQ(weights[0].unit, c.unit) << c.line;
        EXPECT_EQ(weights[0].noHighLow, c.noHighLow) << c.line;
    }
}

TEST_F(WeighingCommandsTest, RequestSIWithoutAnswerCallsNothing) {
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 150));
    std::this_thread::sleep_for(400ms);
    pty.Send("     1.000kg \r\n");  // too late: the listener has ended
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(recorder.WaitForWeights(1, 10ms).empty());
}

TEST_F(WeighingCommandsTest, ReadSW9StoresSevenIdentityLines) {
    peer = std::thread([&] {
        Answer("SW9\r\n", "WPT/4\r\n123456\r\n2019-03-01\r\nfw 1.2\r\nheader\r\n77\r\nlast\r\n");
    });
    DeviceInfo info = scale->ReadSW9(200);
    peer.join();
    EXPECT_STREQ(info.type, "WPT/4");
    EXPECT_EQ(info.serialNumber, 123456);
    EXPECT_STREQ(info.productionDate, "2019-03-01");
    EXPECT_STREQ(info.extraText1, "fw 1.2");
    EXPECT_STREQ(info.recordHeader, "header");
    EXPECT_EQ(info.extraNumber, 77);
    EXPECT_STREQ(info.extraText2, "last");

    // Three lines change only the first three texts.
    peer = std::thread([&] { Answer("SW9\r\n", "PS 200\rabc\nDATE\r\n"); });
    info = scale->ReadSW9(200);
    peer.join();
    EXPECT_STREQ(info.type, "PS 200");
    EXPECT_EQ(info.serialNumber, 0) << "not an integer";
    EXPECT_STREQ(info.productionDate, "DATE");
    EXPECT_STREQ(info.extraText1, "fw 1.2");
    EXPECT_STREQ(info.extraText2, "last");

    // Silence changes nothing.
    info = scale->ReadSW9(100);
    EXPECT_STREQ(info.type, "PS 200");
    EXPECT_STREQ(scale->GetDeviceInfo().recordHeader, "header");
}

}  // namespace
