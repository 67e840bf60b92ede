#include <gtest/gtest.h>
#include <termios.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "PtyPair.h"
#include "posix/SerialTermios.h"
#include "serial/CSerialPort.h"

namespace {

using namespace std::chrono_literals;
using qel::CSerialPort;
using qeltest::PtyPair;

class SerialPortTest : public ::testing::Test {
protected:
    void OpenOnPty() {
        ASSERT_TRUE(port.SetParam("COM", pty.SlavePath().c_str()));
        ASSERT_TRUE(port.Open());
    }

    std::string ReadAll(int32_t want, std::chrono::milliseconds within) {
        std::string all;
        auto end = std::chrono::steady_clock::now() + within;
        while (static_cast<int32_t>(all.size()) < want && std::chrono::steady_clock::now() < end) {
            std::string chunk;
            int32_t count = want - static_cast<int32_t>(all.size());
            port.Read(chunk, count);
            all += chunk;
        }
        return all;
    }

    PtyPair pty;
    CSerialPort port;
};

TEST_F(SerialPortTest, NewPortAnswersDefaultsAndUnknownKeys) {
    EXPECT_STREQ(port.GetParam("baud"), "9600");
    EXPECT_STREQ(port.GetParam("parity"), "N");
    EXPECT_EQ(port.GetParam("xyz"), nullptr);
    EXPECT_EQ(port.PortPath(), "/dev/ttyS0");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, SetParamTableWhileClosed) {
    struct Case {
        const char* key;
        const char* value;
        bool result;
    } cases[] = {
        {"baud", "19200", true},  {"baud", "300", false},    {"baud", "0", false},
        {"baud", "-9600", false}, {"baud", "fast", false},   {"parity", "E", true},
        {"parity", "e", false},   {"parity", "EE", false},   {"bits", "7", true},
        {"bits", "9", false},     {"bits", "x", false},      {"COM", "x", false},
        {"COM", "0", false},      {"COM", "3", true},        {"timeout", "0", false},
        {"timeout", "50", true},  {"timeout", "abc", false}, {"speed", "1", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(port.SetParam(c.key, c.value), c.result) << c.key << "=" << c.value;
    }
    EXPECT_STREQ(port.GetParam("baud"), "19200");
    EXPECT_STREQ(port.GetParam("parity"), "E");
    EXPECT_EQ(port.PortPath(), "/dev/ttyS2");
    EXPECT_TRUE(port.SetParam("COM", "/dev/serial/by-id/usb-FTDI-if00"));
    EXPECT_EQ(port.PortPath(), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_FALSE(port.SetParam(nullptr, "1"));
    EXPECT_FALSE(port.SetParam("baud", nullptr));
}

TEST_F(SerialPortTest, OpenAppliesTheLineSpeedAndLaterChanges) {
    ASSERT_TRUE(port.SetParam("baud", "4800"));
    OpenOnPty();
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(pty.SlaveBaud(), 4800);
    EXPECT_TRUE(port.SetParam("baud", "115200"));
    EXPECT_EQ(pty.SlaveBaud(), 115200);
    // On an open line an unknown rate is refused: the line keeps running the
    // rate it had, and the caller hears that it does not run the one asked.
    EXPECT_FALSE(port.SetParam("baud", "300"));
    EXPECT_EQ(pty.SlaveBaud(), 115200);
    EXPECT_STREQ(port.GetParam("baud"), "115200");
}

// A pseudo-terminal keeps the speed but neither parity nor 7 data bits: what
// the line does not run is refused, and the parameters tell what it runs.
TEST_F(SerialPortTest, SettingsOnAnOpenLineAreReadBack) {
    OpenOnPty();
    struct Case {
        const char* key;
        const char* value;
        bool result;
        const char* baud;
        const char* parity;
    } cases[] = {
        {"baud", "57600", true, "57600", "N"}, {"parity", "E", false, "57600", "N"},
        {"parity", "O", false, "57600", "N"},  {"bits", "7", false, "57600", "N"},
        {"bits", "8", true, "57600", "N"},     {"parity", "N", true, "57600", "N"},
        {"baud", "2400", true, "2400", "N"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        EXPECT_EQ(port.SetParam(c.key, c.value), c.result);
        EXPECT_STREQ(port.GetParam("baud"), c.baud);
        EXPECT_STREQ(port.GetParam("parity"), c.parity);
    }
    EXPECT_EQ(pty.SlaveBaud(), 2400);
    EXPECT_FALSE(port.LastError().empty());
    // Closed, a value is only recorded, as before.
    port.Close();
    EXPECT_TRUE(port.SetParam("parity", "E"));
    EXPECT_TRUE(port.SetParam("bits", "7"));
    EXPECT_STREQ(port.GetParam("parity"), "E");
}

// A Read waiting on one thread while another closes the line: the Read ends
// at once, and the line is closed when Close returns.
TEST_F(SerialPortTest, CloseWhileAnotherThreadReads) {
    OpenOnPty();
    for (int round = 0; round < 3; ++round) {
        std::atomic<bool> stop{false};
        std::thread reader([&] {
            while (!stop) {
                std::string out;
                int32_t count = 100;
                port.Read(out, count);
                port.Write("ST\r\n");
            }
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_TRUE(port.Close());
        EXPECT_FALSE(port.IsOpen());
        CSerialPort other;
        ASSERT_TRUE(other.SetParam("COM", pty.SlavePath().c_str()));
        EXPECT_TRUE(other.Open()) << "the line is free once Close has returned";
        other.Close();
        stop = true;
        reader.join();
        ASSERT_TRUE(port.Open());
    }
}

TEST(SerialTermiosTest, ParityAndDataBitsBecomeTermiosFlags) {
    struct Case {
        char parity;
        int bits;
        tcflag_t parityFlags;
        tcflag_t size;
    } cases[] = {
        {'N', 8, 0, CS8},
        {'E', 8, PARENB, CS8},
        {'O', 7, PARENB | PARODD, CS7},
        {'E', 7, PARENB, CS7},
    };
    for (const auto& c : cases) {
        termios settings{};
        settings.c_cflag = CSTOPB | CRTSCTS | PARODD;  // leftovers a port may carry
        qel::BuildTermios(settings, {9600, c.parity, c.bits});
        EXPECT_EQ(settings.c_cflag & (PARENB | PARODD), c.parityFlags) << c.parity;
        EXPECT_EQ(settings.c_cflag & CSIZE, c.size);
        EXPECT_EQ(settings.c_cflag & CSTOPB, 0u) << "one stop bit";
        EXPECT_EQ(settings.c_cflag & CRTSCTS, 0u);
        EXPECT_NE(settings.c_cflag & CLOCAL, 0u);
        EXPECT_NE(settings.c_cflag & CREAD, 0u);
        EXPECT_EQ(settings.c_lflag & (ICANON | ECHO), 0u) << "raw mode";
        EXPECT_EQ(cfgetospeed(&settings), static_cast<speed_t>(B9600));
    }
}

TEST_F(SerialPortTest, OpenFailsCleanlyForMissingOrBusyPorts) {
    ASSERT_TRUE(port.SetParam("COM", "/dev/does-not-exist-qel"));
    EXPECT_FALSE(port.Open());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_FALSE(port.LastError().empty());

    CSerialPort first;
    ASSERT_TRUE(first.SetParam("COM", pty.SlavePath().c_str()));
    ASSERT_TRUE(first.Open());
    CSerialPort second;
    ASSERT_TRUE(second.SetParam("COM", pty.SlavePath().c_str()));
    EXPECT_FALSE(second.Open()) << "two programs must never share one line";
    first.Close();
    EXPECT_TRUE(second.Open()) << "the line is free again after Close";
}

TEST_F(SerialPortTest, OpenTwiceAndCloseTwice) {
    EXPECT_TRUE(port.Close()) << "Close on a closed port";
    OpenOnPty();
    EXPECT_TRUE(port.Open());
    EXPECT_TRUE(port.Close());
    EXPECT_TRUE(port.Close());
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortTest, WritesArriveWholeAndInOrder) {
    OpenOnPty();
    std::string longText;
    for (int i = 0; i < 300; ++i) {
        longText.push_back(static_cast<char>('A' + i % 26));
    }
    EXPECT_TRUE(port.Write(longText));
    EXPECT_TRUE(port.Write("second\r\n"));
    EXPECT_TRUE(port.Write("third\r\n"));
    EXPECT_EQ(pty.ReceiveUntil("third\r\n"), longText + "second\r\nthird\r\n");
}

TEST_F(SerialPortTest, WriteWhileClosedFails) {
    EXPECT_FALSE(port.Write("ST\r\n"));
}

TEST_F(SerialPortTest, ReadWhileClosedLeavesArgumentsAlone) {
    std::string out = "keep";
    int32_t count = 7;
    EXPECT_FALSE(port.Read(out, count));
    EXPECT_EQ(out, "keep");
    EXPECT_EQ(count, 7);
}

TEST_F(SerialPortTest, ReadReturnsBufferedBytesAtOnceThenWaitsWhenEmpty) {
    OpenOnPty();
    pty.Send("ABCD");
    std::this_thread::sleep_for(150ms);  // let the receiving thread take them

    std::string out;
    int32_t count = 10;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.Read(out, count));
    auto firstTook = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out, "ABCD");
    EXPECT_EQ(count, 4);
    EXPECT_LT(firstTook, 50ms) << "buffered bytes must not wait for a new chunk";

    count = 10;
    start = std::chrono::steady_clock::now();
    port.Read(out, count);
    auto secondTook = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(out, "");
    EXPECT_EQ(count, 0);
    EXPECT_GE(secondTook, 90ms);
    EXPECT_LT(secondTook, 1000ms);
}

TEST_F(SerialPortTest, ReadTakesOnlyWhatWasAskedFor) {
    OpenOnPty();
    pty.Send("0123456789");
    EXPECT_EQ(ReadAll(4, 2s), "0123");
    EXPECT_EQ(ReadAll(6, 2s), "456789");
}

TEST_F(SerialPortTest, ReadWakesAsSoonAsBytesArrive) {
    OpenOnPty();
    std::thread peer([&] {
        std::this_thread::sleep_for(30ms);
        pty.Send("MT\r\n");
    });
    std::string out;
    int32_t count = 4;
    port.Read(out, count);
    peer.join();
    if (count < 4) {  // the bytes may have come in two chunks
        std::string rest;
        int32_t more = 4 - count;
        port.Read(rest, more);
        out += rest;
    }
    EXPECT_EQ(out, "MT\r\n");
}

TEST_F(SerialPortTest, ZeroBytesAreDroppedAndTheRestKept) {
    OpenOnPty();
    pty.Send(std::string("AB\0CD\r\n", 7));
    EXPECT_EQ(ReadAll(6, 2s), "ABCD\r\n");
}

TEST_F(SerialPortTest, WriteDiscardsAnUnreadReply) {
    OpenOnPty();
    pty.Send("stale reply\r\n");
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(port.Write("ST\r\n"));
    pty.Send("MT\r\n");
    EXPECT_EQ(ReadAll(4, 2s), "MT\r\n");
}

TEST_F(SerialPortTest, APortThatVanishesNeitherCrashesNorHangs) {
    OpenOnPty();
    pty.CloseMaster();
    std::string out;
    int32_t count = 10;
    auto start = std::chrono::steady_clock::now();
    port.Read(out, count);
    EXPECT_EQ(count, 0);
    port.Write("ST\r\n");  // goes nowhere, must not block
    std::string line;
    EXPECT_FALSE(port.ReadLine(line, 100, 200));
    EXPECT_TRUE(port.Close());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
