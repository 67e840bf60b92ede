#include "ScaleSimProcess.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <csignal>
#include <fstream>

#include "LineClients.h"

using namespace std::chrono_literals;

namespace {

std::string LinkPath(const char* name) {
    return ::testing::TempDir() + name;
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

}  // namespace

TEST(ScaleSimProcess, ReadsTheAlibiMemoryOverThePseudoTerminal) {
    ScaleSimProcess sim({"--records", "2", "--seed", "5"});
    ASSERT_FALSE(sim.PtyPath().empty());
    SerialClient port(sim.PtyPath(), B9600);
    ASSERT_TRUE(port.IsOpen());

    EXPECT_EQ(port.Exchange("Salibitrn\r\n"), "Malibitrn\r\n");
    port.SetSpeed(B115200, true);
    port.Send("Salibiprn\r\n");
    EXPECT_EQ(port.CollectLines(5),
              "Type:SIM 6/C1\r\nSerial number:560123\r\nProduction date:2019-03-01\r\n"
              "Records:2\r\nREC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB\r\n");
    port.Send("Salibinext\r\n");
    EXPECT_EQ(port.CollectLines(1).rfind("2;", 0), 0u);
    port.Send("Salibinext\r\n");
    EXPECT_EQ(port.CollectLines(1).rfind("1;", 0), 0u);
    port.Send("Salibinext\r\n");
    EXPECT_EQ(port.CollectLines(1), "Malibiprn\r\n");
    port.SetSpeed(B9600);
    EXPECT_EQ(port.Exchange("ST\r\n"), "MT\r\n");
}

TEST(ScaleSimProcess, UnderstandsCommandsOnlyAtTheirSpeed) {
    ScaleSimProcess sim({"--baud", "19200"});
    SerialClient port(sim.PtyPath(), B9600);
    EXPECT_EQ(port.Exchange("ST\r\n"), "");
    EXPECT_EQ(port.Exchange("Salibiprn\r\n"), "");
    port.SetSpeed(B19200);
    EXPECT_EQ(port.Exchange("ST\r\n"), "MT\r\n");
    port.SetSpeed(B115200);
    EXPECT_EQ(port.Exchange("ST\r\n"), "");
    EXPECT_NE(port.Exchange("Salibiprn\r\n"), "");
}

TEST(ScaleSimProcess, AnyBaudUnderstandsEverySpeed) {
    ScaleSimProcess sim({"--any-baud"});
    SerialClient port(sim.PtyPath(), B2400);
    EXPECT_EQ(port.Exchange("SJ\r\n"), "MJ\r\n");
    EXPECT_NE(port.Exchange("Salibiprn\r\n"), "");
}

TEST(ScaleSimProcess, SurvivesThePortBeingClosedAndReopened) {
    ScaleSimProcess sim({});
    for (int i = 0; i < 3; ++i) {
        SerialClient port(sim.PtyPath());
        EXPECT_EQ(port.Exchange("SZ\r\n"), "MZ\r\n");
    }
    EXPECT_TRUE(sim.Running());
}

TEST(ScaleSimProcess, PlacesAndRemovesTheLink) {
    const std::string link = LinkPath("scale-sim-link-test");
    {
        ScaleSimProcess sim({"--link", link});
        ASSERT_TRUE(Exists(link));
        SerialClient port(link);
        EXPECT_EQ(port.Exchange("SS\r\n"), "MS\r\n");
        sim.Stop();
        EXPECT_TRUE(WIFEXITED(sim.ExitStatus()));
        EXPECT_EQ(WEXITSTATUS(sim.ExitStatus()), 0);
    }
    EXPECT_FALSE(Exists(link));
}

TEST(ScaleSimProcess, HangsUpAfterTheAskedNumberOfRecords) {
    ScaleSimProcess sim({"--records", "5", "--drop-after", "1", "--any-baud"});
    SerialClient port(sim.PtyPath());
    port.Send("Salibiprn\r\n");
    port.CollectLines(5);
    port.Send("Salibinext\r\n");
    EXPECT_EQ(port.CollectLines(1).rfind("5;", 0), 0u);
    // With its only carrier gone the simulator has nothing left to serve.
    EXPECT_TRUE(sim.WaitForExit(5s));
}

TEST(ScaleSimProcess, DeliversRepliesInChunks) {
    ScaleSimProcess sim({"--chunk", "2", "--chunk-gap", "40"});
    SerialClient port(sim.PtyPath());
    port.Send("Salibitrn\r\n");
    // The first piece comes at once, the rest only after the pauses.
    EXPECT_EQ(port.Collect(20ms), "Ma");
    EXPECT_EQ(port.Collect(300ms), "libitrn\r\n");
}

TEST(ScaleSimProcess, PacesRepliesAtTheLineRate) {
    ScaleSimProcess sim({"--pace", "--baud", "1200"});
    SerialClient port(sim.PtyPath(), B1200);
    // At 1200 baud 8N1 the 5 bytes of "Sx3" take 42 ms to arrive, the 16 of the reply 133 ms.
    const auto start = std::chrono::steady_clock::now();
    port.Send("Sx3\r\n");
    const std::string reply = port.CollectLines(1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply.size(), 16u);
    EXPECT_GE(elapsed, 160ms);
    EXPECT_LT(elapsed, 3s);
}

TEST(ScaleSimProcess, ServesTheScaleOverTcp) {
    ScaleSimProcess sim({"--tcp", "127.0.0.3:0"});
    EXPECT_EQ(sim.TcpAddress(), "127.0.0.3");
    ASSERT_GT(sim.TcpPort(), 0);
    EXPECT_TRUE(sim.PtyPath().empty());
    TcpClient client(sim.TcpAddress(), sim.TcpPort());
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(client.Exchange("ST\r\n"), "MT\r\n");
    // No line speed on the network: the transfer commands are understood as they come.
    client.Send("Salibiprn\r\n");
    EXPECT_NE(client.CollectLines(5).find("Records:1000\r\n"), std::string::npos);
}

TEST(ScaleSimProcess, RefusesAddressesOutsideTheLoopbackNetwork) {
    for (const char* address : {"10.0.0.1:5000", "0.0.0.0:5000", "192.168.1.75:1001"}) {
        EXPECT_EQ(ScaleSimProcess::RunToEnd({"--tcp", address}), 2) << address;
    }
    EXPECT_EQ(ScaleSimProcess::RunToEnd({"--silent-at", "nowhere"}), 2);
    EXPECT_EQ(ScaleSimProcess::RunToEnd({"--baud", "12345"}), 2);
}

TEST(ScaleSimProcess, ExplainsItselfInHelp) {
    std::string help;
    EXPECT_EQ(ScaleSimProcess::RunToEnd({"--help"}, &help), 0);
    for (const char* option :
         {"--pty", "--link", "--tcp", "--records", "--silent-at", "--garbage-at", "--pace",
          "--fw-refuse", "--wifi-log", "--grow", "--one-scale", "SIGUSR1", "SIGHUP"}) {
        EXPECT_NE(help.find(option), std::string::npos) << option;
    }
}

namespace {

// A UDP socket of the test, talking to one port of the simulator.
class UdpClient : public FdClient {
public:
    UdpClient(const std::string& host, int port)
        : FdClient(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, host.c_str(), &address.sin_addr);
        connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
};

}  // namespace

TEST(ScaleSimProcess, ServesTheScaleOverUdp) {
    ScaleSimProcess sim({"--udp", "127.0.0.4:0", "--records", "1"});
    EXPECT_EQ(sim.UdpAddress(), "127.0.0.4");
    UdpClient client(sim.UdpAddress(), sim.UdpPort());
    EXPECT_EQ(client.Exchange("SJ\r\n"), "MJ\r\n");
    client.Send("Salibiprn\r\n");
    EXPECT_NE(client.CollectLines(5).find("Records:1\r\n"), std::string::npos);
}

TEST(ScaleSimProcess, GatesTheTransferByTheModulesSerialSettings) {
    ScaleSimProcess sim({"--tcp", "127.0.0.5:0", "--tibbo"});
    EXPECT_EQ(sim.TibboAddress(), "127.0.0.5");
    TcpClient data(sim.TcpAddress(), sim.TcpPort());
    UdpClient management(sim.TibboAddress(), 65535);
    EXPECT_EQ(data.Exchange("SJ\r\n"), "MJ\r\n");
    EXPECT_EQ(data.Exchange("Salibiprn\r\n"), "");
    EXPECT_EQ(management.Exchange("PBR7"), "A");
    EXPECT_EQ(data.Exchange("Salibiprn\r\n"), "") << "parity still none";
    EXPECT_EQ(management.Exchange("PPR1"), "A");
    EXPECT_NE(data.Exchange("Salibiprn\r\n"), "");
    EXPECT_EQ(data.Exchange("SJ\r\n"), "");
    EXPECT_EQ(management.Exchange("PBR3"), "A");
    EXPECT_EQ(management.Exchange("PPR0"), "A");
    EXPECT_EQ(data.Exchange("SJ\r\n"), "MJ\r\n");
    EXPECT_EQ(management.Exchange("GBR"), "A3");
}

namespace {

// Runs the alibi dialogue at 115200 baud against a simulator started with `args` and
// returns everything the scale sent after Salibiprn, including three Salibinext.
std::string TransferWith(std::vector<std::string> args) {
    args.insert(args.end(), {"--records", "2"});
    ScaleSimProcess sim(args);
    SerialClient port(sim.PtyPath(), B115200);
    std::string text = port.Exchange("Salibiprn\r\n");
    for (int i = 0; i < 3; ++i) {
        text += "|" + port.Exchange("Salibinext\r\n");
    }
    return text;
}

}  // namespace

TEST(ScaleSimProcess, TakesItsFaultsFromTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        const char* expected;  // found in the transfer
        const char* absent;    // not found in it
    } cases[] = {
        {{"--malformed-count"}, "\r\nRecords:2a\r\n", "Records:2\r\n"},
        {{"--end-lowercase"}, "|malibiprn\r\n", "Malibiprn"},
        {{"--silent-at", "record:1"}, "STB\r\n||", "Malibiprn"},
        {{"--silent-at=record:1", "--fault-once"}, "STB\r\n||2;", "Malibiprn"},
        {{"--garbage-at", "header"}, "Records:2\r\n#?~", "REC_ID"},
        {{"--short-records"}, "|2;2023-01-02;1\r\n|1;", "kg"},
        {{"--header", "REC_ID;TIME;STB", "--type", "Q 1", "--serial", "7", "--production-date",
          "2024-05-06"},
         "Type:Q 1\r\nSerial number:7\r\nProduction date:2024-05-06\r\nRecords:2\r\n"
         "REC_ID;TIME;STB\r\n",
         "DEC"},
    };
    for (const auto& c : cases) {
        const std::string transfer = TransferWith(c.args);
        EXPECT_NE(transfer.find(c.expected), std::string::npos) << c.args[0] << ": " << transfer;
        EXPECT_EQ(transfer.find(c.absent), std::string::npos) << c.args[0] << ": " << transfer;
    }
}

TEST(ScaleSimProcess, SendsTheRecordsOfAFile) {
    const std::string path = ::testing::TempDir() + "scale-sim-process-records.txt";
    {
        std::ofstream file(path);
        file << "7;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1\n";
    }
    const std::string transfer = TransferWith({"--records-file", path});
    EXPECT_NE(transfer.find("Records:1\r\n"), std::string::npos);
    EXPECT_NE(transfer.find("|7;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1\r\n|Malibiprn\r\n"),
              std::string::npos);
}

TEST(ScaleSimProcess, TakesAFirmwareUpload) {
    const std::string out = ::testing::TempDir() + "scale-sim-process-firmware.txt";
    std::remove(out.c_str());
    ScaleSimProcess sim({"--fw-refuse", "2", "--fw-out", out});
    SerialClient port(sim.PtyPath(), B9600);
    EXPECT_EQ(port.Exchange("Sfirmwupd\r\n"), "Mfirmwupd\r\n");
    port.SetSpeed(B115200);
    EXPECT_EQ(port.Exchange(":020000040000FA\r\n"), "f1\r\n");
    EXPECT_EQ(port.Exchange(":00000001FF\r\n"), "f2\r\n");
    EXPECT_EQ(port.Exchange(":00000001FF\r\n"), "f1\r\nf3\r\n");
    std::ifstream written(out);
    std::string first, second, third;
    std::getline(written, first);
    std::getline(written, second);
    EXPECT_EQ(first, ":020000040000FA");
    EXPECT_EQ(second, ":00000001FF");
    EXPECT_FALSE(std::getline(written, third));
}

TEST(ScaleSimProcess, HandsTheLineToTheWifiModuleAndBack) {
    const std::string log = ::testing::TempDir() + "scale-sim-process-wifi.log";
    std::remove(log.c_str());
    ScaleSimProcess sim({"--wifi-log", log});
    SerialClient port(sim.PtyPath(), B9600);
    EXPECT_EQ(port.Exchange("Swificfg\r\n"), "Mwificfg\r\n");
    port.SetSpeed(B115200);
    EXPECT_EQ(port.Exchange("+++"), "CLOSED\r\n");
    EXPECT_EQ(port.Exchange("AT+CWJAP_DEF=\"VESK-Office\",\"tarvo2019\"\r\n", 400ms),
              "WIFI CONNECTED\r\nWIFI GOT IP\r\n\r\nOK\r\n");
    EXPECT_EQ(port.Exchange("\x1b"), "");
    port.SetSpeed(B9600);
    EXPECT_EQ(port.Exchange("SJ\r\n"), "MJ\r\n");
    std::ifstream written(log);
    std::string lines, line;
    while (std::getline(written, line)) {
        lines += line + "|";
    }
    EXPECT_EQ(lines, "+++|AT+CWJAP_DEF=\"VESK-Office\",\"tarvo2019\"|<ESC>|");
}

namespace {

// A whole listing at the transfer settings: the count line's number and every record line.
struct Listing {
    std::string count;
    std::vector<std::string> records;
};

Listing ListAll(FdClient& port) {
    Listing listing;
    port.Send("Salibiprn\r\n");
    const std::string identity = port.CollectLines(5);
    const std::size_t count = identity.find("Records:");
    if (count != std::string::npos) {
        listing.count = identity.substr(count + 8, identity.find('\r', count) - count - 8);
    }
    for (int i = 0; i < 10000; ++i) {
        port.Send("Salibinext\r\n");
        const std::string line = port.CollectLines(1);
        if (line.empty() || line == "Malibiprn\r\n") {
            break;
        }
        listing.records.push_back(line);
    }
    return listing;
}

std::string RecordNumber(const std::string& line) {
    return line.substr(0, line.find(';'));
}

}  // namespace

TEST(ScaleSimProcess, KeepsATransferOpenWhileThePortIsClosed) {
    ScaleSimProcess sim({"--records", "3"});
    {
        SerialClient port(sim.PtyPath(), B9600);
        EXPECT_EQ(port.Exchange("Salibitrn\r\n"), "Malibitrn\r\n");
        port.SetSpeed(B115200, true);
        port.Send("Salibiprn\r\n");
        port.CollectLines(5);
        EXPECT_EQ(RecordNumber(port.Exchange("Salibinext\r\n")), "3");
    }
    // The program stopped and comes back at its own settings.
    SerialClient port(sim.PtyPath(), B9600);
    EXPECT_EQ(port.Exchange("Salibitrn\r\n"), "") << "the scale listens at 115200 baud";
    EXPECT_EQ(port.Exchange("ST\r\n"), "");
    port.SetSpeed(B115200, true);
    EXPECT_EQ(RecordNumber(port.Exchange("Salibinext\r\n")), "2");
    EXPECT_EQ(port.Exchange("Salibitrn\r\n"), "Malibitrn\r\n");
    const Listing again = ListAll(port);
    EXPECT_EQ(again.count, "3");
    ASSERT_EQ(again.records.size(), 3u);
    EXPECT_EQ(RecordNumber(again.records[0]), "3");
    port.SetSpeed(B9600);
    EXPECT_EQ(port.Exchange("ST\r\n"), "MT\r\n") << "a whole listing ends the transfer";
}

TEST(ScaleSimProcess, OneScaleKeepsItsTransferAcrossConnections) {
    const struct {
        std::vector<std::string> args;
        const char* nextOnTheSecondConnection;
    } cases[] = {
        {{"--tcp", "127.0.0.6:0", "--records", "3"}, "Malibiprn\r\n"},  // a new scale each time
        {{"--tcp", "127.0.0.6:0", "--records", "3", "--one-scale"}, "2"},
    };
    for (const auto& c : cases) {
        ScaleSimProcess sim(c.args);
        {
            TcpClient first(sim.TcpAddress(), sim.TcpPort());
            first.Send("Salibiprn\r\n");
            first.CollectLines(5);
            EXPECT_EQ(RecordNumber(first.Exchange("Salibinext\r\n")), "3");
        }
        TcpClient second(sim.TcpAddress(), sim.TcpPort());
        EXPECT_EQ(RecordNumber(second.Exchange("Salibinext\r\n")), c.nextOnTheSecondConnection)
            << c.args.back();
    }
}

TEST(ScaleSimProcess, PutsNewRecordsOnTopOnSigusr1) {
    ScaleSimProcess sim({"--records", "4", "--seed", "3", "--grow", "2", "--any-baud"});
    SerialClient port(sim.PtyPath());
    const Listing before = ListAll(port);
    ASSERT_EQ(before.records.size(), 4u);

    ASSERT_TRUE(sim.SignalAndWait(SIGUSR1, "records 6"));
    const Listing after = ListAll(port);
    EXPECT_EQ(after.count, "6");
    ASSERT_EQ(after.records.size(), 6u);
    EXPECT_EQ(RecordNumber(after.records[0]), "6");
    EXPECT_EQ(RecordNumber(after.records[1]), "5");
    EXPECT_EQ(std::vector<std::string>(after.records.begin() + 2, after.records.end()),
              before.records)
        << "the older records stay byte for byte";

    ScaleSimProcess larger({"--records", "6", "--seed", "3", "--any-baud"});
    SerialClient largerPort(larger.PtyPath());
    EXPECT_EQ(ListAll(largerPort).records, after.records) << "as if started with 6 records";
}

TEST(ScaleSimProcess, ReadsItsRecordsFileAgainOnSighup) {
    const std::string path = ::testing::TempDir() + "scale-sim-reload-records.txt";
    const auto write = [&path](const std::string& text) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file << text;
    };
    write(
        "2;2019-03-01;12:00:02;1;U1;P1;1;1;0;kg;0;1\n1;2019-03-01;12:00:01;1;U1;P1;1;1;0;kg;0;1\n");
    ScaleSimProcess sim({"--records-file", path, "--any-baud"});
    SerialClient port(sim.PtyPath());
    EXPECT_EQ(ListAll(port).count, "2");

    write("1;2024-01-01;08:00:00;1;U9;P9;5;5;0;g;0;1\n");  // the memory was cleared
    ASSERT_TRUE(sim.SignalAndWait(SIGHUP, "records 1"));
    const Listing cleared = ListAll(port);
    EXPECT_EQ(cleared.count, "1");
    EXPECT_EQ(cleared.records,
              std::vector<std::string>{"1;2024-01-01;08:00:00;1;U9;P9;5;5;0;g;0;1\r\n"});

    std::remove(path.c_str());
    ASSERT_TRUE(sim.SignalAndWait(SIGHUP, "records 1")) << "an unreadable file changes nothing";
    EXPECT_EQ(ListAll(port).records, cleared.records);
}
