// The exchange routines every transport shares, over a real serial line.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "PtyPair.h"
#include "serial/CSerialPort.h"
#include "transport/CPustyInterfejs.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ExchangeRoutinesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port.SetParam("COM", pty.SlavePath().c_str()));
        ASSERT_TRUE(port.Open());
    }
    void TearDown() override {
        if (peer.joinable()) {
            peer.join();
        }
    }
    // The scale answers once it has seen `request`.
    void AnswerAfter(std::string request, std::string reply) {
        peer = std::thread([this, request, reply] {
            if (pty.ReceiveUntil(request).find(request) != std::string::npos) {
                pty.Send(reply);
            }
        });
    }

    qeltest::PtyPair pty;
    qel::CSerialPort port;
    std::thread peer;
};

TEST_F(ExchangeRoutinesTest, ReadLineEndsOnCrLf) {
    pty.Send("OK\r\n");
    std::string line;
    EXPECT_TRUE(port.ReadLine(line, 100, 1000));
    EXPECT_EQ(line, "OK\r\n");
}

TEST_F(ExchangeRoutinesTest, ReadLineJoinsChunksUntilCrLf) {
    peer = std::thread([this] {
        pty.Send("Type:");
        std::this_thread::sleep_for(40ms);
        pty.Send("WPT\r");
        std::this_thread::sleep_for(40ms);
        pty.Send("\n");
    });
    std::string line;
    EXPECT_TRUE(port.ReadLine(line, 100, 2000));
    EXPECT_EQ(line, "Type:WPT\r\n");
}

TEST_F(ExchangeRoutinesTest, ReadLineOnlyLooksAtTheEndOfTheText) {
    pty.Send("OK\r\nST");
    std::string line;
    auto start = Clock::now();
    EXPECT_FALSE(port.ReadLine(line, 100, 300));
    EXPECT_EQ(line, "OK\r\nST");
    EXPECT_GE(Clock::now() - start, 290ms) << "runs to its deadline";
}

TEST_F(ExchangeRoutinesTest, ReadLineStopsAtTheByteLimit) {
    pty.Send("0123456789abcdef");
    std::string line;
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(port.ReadLine(line, 10, 2000));
    EXPECT_EQ(line, "0123456789");
}

TEST_F(ExchangeRoutinesTest, ReadLineHandsBackPartialTextAtTheDeadline) {
    pty.Send("Recor");
    std::string line;
    auto start = Clock::now();
    EXPECT_FALSE(port.ReadLine(line, 100, 250));
    EXPECT_EQ(line, "Recor");
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(ExchangeRoutinesTest, WriteReadCollectsUntilSilence) {
    peer = std::thread([this] {
        pty.ReceiveUntil("Sx3\r\n");
        pty.Send("S 1");
        std::this_thread::sleep_for(60ms);  // shorter than the idle timeout
        pty.Send(".5H");
    });
    std::string data = "Sx3\r\n";
    int32_t count = 6;
    auto start = Clock::now();
    EXPECT_TRUE(port.WriteRead(data, count, 150));
    EXPECT_EQ(data, "S 1.5H");
    EXPECT_EQ(count, 6);
    EXPECT_LT(Clock::now() - start, 1s) << "ends when the wanted count is reached";
}

TEST_F(ExchangeRoutinesTest, WriteReadReturnsAShortReplyAfterTheIdleTimeout) {
    AnswerAfter("Q\r\n", "ABCD");
    std::string data = "Q\r\n";
    int32_t count = 6;
    auto start = Clock::now();
    EXPECT_TRUE(port.WriteRead(data, count, 200));
    EXPECT_EQ(data, "ABCD");
    EXPECT_EQ(count, 4);
    EXPECT_GE(Clock::now() - start, 190ms);
}

TEST_F(ExchangeRoutinesTest, WriteReadWithEmptyDataOnlyReads) {
    std::string data;
    int32_t count = 5;
    EXPECT_FALSE(port.WriteRead(data, count, 100));
    EXPECT_EQ(data, "");
    EXPECT_EQ(count, 0);
    EXPECT_EQ(pty.ReceiveSome(100), "") << "nothing was sent";
}

TEST_F(ExchangeRoutinesTest, WriteReadUntilSilenceTakesEverything) {
    std::string big(3000, 'x');
    AnswerAfter("AT+LIST\r\n", big);
    std::string data = "AT+LIST\r\n";
    int32_t count = 2147483647;
    EXPECT_TRUE(port.WriteRead(data, count, 300));
    EXPECT_EQ(data, big);
    EXPECT_EQ(count, 3000);
}

TEST_F(ExchangeRoutinesTest, WriteExpectComparesTrimmedReplies) {
    struct Case {
        std::string reply;
        bool matches;
    } cases[] = {
        {"\r\nOK\r\n", true},
        {"OK\r\n  ", true},
        {"\r\nok\r\n", false},
        {"\r\nERROR\r\n", false},
    };
    for (const auto& c : cases) {
        AnswerAfter("AT\r\n", c.reply);
        EXPECT_EQ(port.WriteExpect("AT\r\n", "\r\nOK\r\n", 150), c.matches) << c.reply;
        peer.join();
        pty.ReceiveUntilQuiet(30, 200);
        std::this_thread::sleep_for(20ms);
    }
}

TEST_F(ExchangeRoutinesTest, WriteExpectIsFalseOnSilence) {
    auto start = Clock::now();
    EXPECT_FALSE(port.WriteExpect("ST\r\n", "MT\r\n", 200));
    EXPECT_EQ(pty.ReceiveUntil("ST\r\n"), "ST\r\n");
    EXPECT_LT(Clock::now() - start, 2s);
}

TEST_F(ExchangeRoutinesTest, WriteExpectWithNothingExpectedIsTrue) {
    EXPECT_TRUE(port.WriteExpect("+++", "", 100));
    EXPECT_EQ(pty.ReceiveUntil("+++"), "+++");
}

TEST_F(ExchangeRoutinesTest, AClosedLineGivesNothingAndSaysSo) {
    port.Close();
    std::string data = "SW9\r\n";
    int32_t count = 190;
    auto start = Clock::now();
    EXPECT_FALSE(port.WriteRead(data, count, 300));
    EXPECT_LT(Clock::now() - start, 250ms) << "nothing can come: no wait for silence";
    EXPECT_EQ(count, 0);
    EXPECT_EQ(data, "");

    // A line read waits its time out, so that callers polling it keep their pace.
    std::string line = "x";
    start = Clock::now();
    EXPECT_FALSE(port.ReadLine(line, 100, 150));
    EXPECT_GE(Clock::now() - start, 140ms);
    EXPECT_EQ(line, "");
    EXPECT_FALSE(port.WriteExpect("SJ\r\n", "MJ\r\n", 100));
}

// "Until silence" against a peer that never goes quiet: it stops at the byte
// cap, or at the overall deadline, with what came; no count overflows.
TEST_F(ExchangeRoutinesTest, CollectingUntilSilenceHasItsBounds) {
    constexpr int32_t kUntilSilence = 2147483647;
    std::atomic<bool> stop{false};
    peer = std::thread([&] {
        const std::string burst(4096, 'z');
        while (!stop) {
            pty.Send(burst);
            std::this_thread::sleep_for(5ms);
        }
    });
    std::string data;
    int32_t count = kUntilSilence;
    auto start = Clock::now();
    EXPECT_TRUE(port.WriteRead(data, count, 500));
    stop = true;
    peer.join();
    EXPECT_EQ(count, qel::CInterfejs::kMaxCollectBytes);
    EXPECT_EQ(data.size(), static_cast<size_t>(count));
    EXPECT_LT(Clock::now() - start, 10s);

    std::this_thread::sleep_for(100ms);
    port.DiscardInput();
    stop = false;
    peer = std::thread([&] {
        while (!stop) {
            pty.Send("y");
            std::this_thread::sleep_for(100ms);
        }
    });
    data.clear();
    count = kUntilSilence;
    start = Clock::now();
    EXPECT_TRUE(port.WriteRead(data, count, 300));
    const auto took = Clock::now() - start;
    stop = true;
    EXPECT_GE(took, std::chrono::milliseconds(qel::CInterfejs::kCollectOverrunMs));
    EXPECT_LT(took, std::chrono::milliseconds(qel::CInterfejs::kCollectOverrunMs) + 5s);
    EXPECT_GT(count, 50);
    EXPECT_EQ(data, std::string(static_cast<size_t>(count), 'y'));
}

TEST(CInterfejsTest, SetBaudAndSetParityKeepValuesOutsideTheirTables) {
    qel::CSerialPort port;  // closed: Apply* reports whether the value was taken
    EXPECT_TRUE(port.SetBaud(9600));
    EXPECT_FALSE(port.SetBaud(300));
    EXPECT_STREQ(port.GetParam("baud"), "9600");
    EXPECT_TRUE(port.SetBaud(115200));
    EXPECT_STREQ(port.GetParam("baud"), "115200");
    EXPECT_FALSE(port.SetParity('*'));
    EXPECT_STREQ(port.GetParam("parity"), "N");
    EXPECT_TRUE(port.SetParity('O'));
    EXPECT_STREQ(port.GetParam("parity"), "O");
}

TEST(CPustyInterfejsTest, EveryOperationFailsAtOnce) {
    qel::CPustyInterfejs empty;
    auto start = Clock::now();
    EXPECT_FALSE(empty.Open());
    EXPECT_FALSE(empty.IsOpen());
    EXPECT_FALSE(empty.Close());
    EXPECT_FALSE(empty.Write("ST\r\n"));
    EXPECT_FALSE(empty.SetParam("baud", "9600"));
    EXPECT_EQ(empty.GetParam("baud"), nullptr);
    EXPECT_EQ(empty.GetParam("parity"), nullptr);
    EXPECT_FALSE(empty.SetReadTimeout(10));
    std::string out = "x";
    int32_t count = 3;
    EXPECT_FALSE(empty.Read(out, count));
    EXPECT_EQ(out, "x");
    EXPECT_EQ(count, 3);
    EXPECT_FALSE(empty.ReadLine(out, 100, 5000));
    EXPECT_EQ(out, "");
    std::string data = "SW9\r\n";
    EXPECT_FALSE(empty.WriteRead(data, count, 5000));
    EXPECT_EQ(data, "SW9\r\n");
    EXPECT_FALSE(empty.WriteExpect("SJ\r\n", "MJ\r\n", 5000));
    EXPECT_LT(Clock::now() - start, 100ms);
}

}  // namespace
