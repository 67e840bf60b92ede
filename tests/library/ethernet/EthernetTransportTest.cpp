// The Ethernet transport against loopback peers on 127.0.0.21 (data), with
// 127.0.0.22 and 127.0.0.23 as further modules answering a broadcast,
// 127.0.0.32 as a stranger and 127.0.0.31 as a host that never answers.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "LoopbackPeers.h"
#include "ethernet/CEthernet.h"
#include "platform/Socket.h"

namespace {

using namespace std::chrono_literals;
using ethtest::Datagram;
using ethtest::TcpConnection;
using ethtest::TcpListener;
using ethtest::UdpPeer;
using qel::CEthernet;
using Clock = std::chrono::steady_clock;

const char* const kAddress = "127.0.0.21";
const char* const kStrayAddress = "127.0.0.32";
const char* const kSilentHost = "127.0.0.31";

std::string Param(CEthernet& transport, const char* key) {
    const char* value = transport.GetParam(key);
    return value == nullptr ? "<null>" : value;
}

void Aim(CEthernet& transport, const std::string& address, uint16_t port) {
    ASSERT_TRUE(transport.SetParam("ip", address.c_str()));
    ASSERT_TRUE(transport.SetParam("port", std::to_string(port).c_str()));
}

std::unique_ptr<TcpConnection> OpenTcp(CEthernet& transport, TcpListener& listener) {
    Aim(transport, kAddress, listener.Port());
    EXPECT_TRUE(transport.Open()) << transport.LastFailure().Text();
    return listener.Accept(2000);
}

// Reads until `size` bytes came or two seconds passed.
std::string ReadAtLeast(CEthernet& transport, size_t size) {
    std::string collected;
    const auto deadline = Clock::now() + 2s;
    while (collected.size() < size && Clock::now() < deadline) {
        std::string chunk;
        int32_t count = 1;
        transport.Read(chunk, count);
        collected += chunk;
    }
    return collected;
}

void OpenUdp(CEthernet& transport, const UdpPeer& peer) {
    ASSERT_TRUE(transport.SetParam("protokol", "udp"));
    Aim(transport, kAddress, peer.Port());
    ASSERT_TRUE(transport.Open()) << transport.LastFailure().Text();
}

// Opens over UDP to `peer`, sends `text` and returns it as the peer got it,
// with the address to answer to.
Datagram AskOverUdp(CEthernet& transport, UdpPeer& peer, const std::string& text) {
    OpenUdp(transport, peer);
    EXPECT_TRUE(transport.Write(text));
    std::optional<Datagram> received = peer.Receive(2000);
    if (!received) {
        throw std::runtime_error("the peer got nothing");
    }
    return *received;
}

TEST(EthernetTransport, NewTransportHasItsDefaults) {
    CEthernet transport;
    EXPECT_EQ(Param(transport, "port"), "0");
    EXPECT_EQ(Param(transport, "ip"), "0");
    EXPECT_EQ(transport.Baud(), 9600);
    EXPECT_EQ(transport.Parity(), 'N');
    EXPECT_EQ(Param(transport, "broadcastip"), "");
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_FALSE(transport.SetReadTimeout(100));

    // TCP is the default: Open connects.
    TcpListener listener(kAddress);
    auto connection = OpenTcp(transport, listener);
    EXPECT_NE(connection, nullptr);
}

TEST(EthernetTransport, PortTakesOnlyPositiveWholeNumbers) {
    struct Case {
        const char* value;
        bool taken;
        const char* port;
    };
    const Case cases[] = {
        {"1001", true, "1001"},   {"0", false, "1001"},      {"-5", false, "1001"},
        {"65535", true, "65535"}, {"65536", false, "65535"}, {"1", true, "1"},
    };
    CEthernet transport;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(transport.SetParam("port", c.value), c.taken);
        EXPECT_EQ(Param(transport, "port"), c.port);
    }
    EXPECT_THROW(transport.SetParam("port", "abc"), std::invalid_argument);
    EXPECT_THROW(transport.SetParam("port", "12x"), std::invalid_argument);
    EXPECT_EQ(Param(transport, "port"), "1");
}

TEST(EthernetTransport, KeysAndValuesAreComparedExactly) {
    struct Case {
        const char* key;
        const char* value;
        bool taken;
    };
    const Case cases[] = {
        {"protokol", "TCP", false}, {"protokol", "Udp", false},      {"protokol", "udp", true},
        {"protokol", "tcp", true},  {"routing", "Broadcast", false}, {"routing", "unicast", true},
        {"parity", "e", false},     {"parity", "EO", false},         {"parity", "", false},
        {"Port", "1001", false},    {"IP", "127.0.0.1", false},      {"timeout", "100", false},
        {"ip", "anything", true},
    };
    CEthernet transport;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        EXPECT_EQ(transport.SetParam(c.key, c.value), c.taken);
    }
    EXPECT_EQ(Param(transport, "ip"), "anything");
    EXPECT_FALSE(transport.SetParam(nullptr, "x"));
    EXPECT_FALSE(transport.SetParam("ip", nullptr));
    for (const char* key : {"parity", "timeout", "comports", "count", ""}) {
        EXPECT_EQ(transport.GetParam(key), nullptr) << key;
    }
    EXPECT_EQ(transport.GetParam(nullptr), nullptr);
}

TEST(EthernetTransport, BroadcastRoutingSwitchesToUdpUntilTcpIsChosenAgain) {
    UdpPeer peer(kAddress);
    CEthernet transport;
    ASSERT_TRUE(transport.SetParam("routing", "broadcast"));
    Aim(transport, kAddress, peer.Port());
    ASSERT_TRUE(transport.Open());
    ASSERT_TRUE(transport.Write("SI\r\n"));
    auto datagram = peer.Receive(2000);
    ASSERT_TRUE(datagram);
    EXPECT_EQ(datagram->bytes, "SI\r\n");
    ASSERT_TRUE(transport.Close());

    // Back on TCP while routing stays broadcast: each arrival names its sender.
    ASSERT_TRUE(transport.SetParam("protokol", "tcp"));
    TcpListener listener(kAddress);
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    connection->Send("MI\r\n");
    EXPECT_EQ(ReadAtLeast(transport, 4), "MI\r\n");
    EXPECT_EQ(Param(transport, "broadcastip"), "127.0.0.21\r\n");
}

TEST(EthernetTransport, TcpCarriesTheLineBothWaysAndStopsAtAZeroByte) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);

    ASSERT_TRUE(transport.Write("ST\r\n"));
    EXPECT_EQ(connection->Receive(4, 2000), "ST\r\n");
    ASSERT_TRUE(transport.Write(std::string("AB\0CD\r\n", 7)));
    ASSERT_TRUE(transport.Write("!"));
    EXPECT_EQ(connection->Receive(3, 2000), "AB!");

    connection->Send("MT\r\n");
    std::string line;
    EXPECT_TRUE(transport.ReadLine(line, 100, 2000));
    EXPECT_EQ(line, "MT\r\n");
}

TEST(EthernetTransport, ReadWithNothingArrivingWaitsAboutOneHundredMilliseconds) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);

    std::string out = "old";
    int32_t count = 10;
    const auto start = Clock::now();
    EXPECT_FALSE(transport.Read(out, count));
    const auto elapsed = Clock::now() - start;
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out, "");
    EXPECT_GE(elapsed, 80ms);
    EXPECT_LT(elapsed, 1000ms);
}

TEST(EthernetTransport, ReadHandsOverEverythingPendingInArrivalOrder) {
    UdpPeer peer(kAddress);
    CEthernet transport;
    const Datagram hello = AskOverUdp(transport, peer, "hello");
    peer.Reply(hello, "first ");
    peer.Reply(hello, "second");
    std::this_thread::sleep_for(200ms);  // both are there before the Read
    std::string out;
    int32_t count = 2;  // not a limit
    EXPECT_TRUE(transport.Read(out, count));
    EXPECT_EQ(out, "first second");
    EXPECT_EQ(count, 12);
}

TEST(EthernetTransport, UdpSendsEveryByteAndReceivesUpToAZeroByte) {
    UdpPeer peer(kAddress);
    CEthernet transport;
    const std::string withZero("AB\0CD", 5);
    const Datagram sent = AskOverUdp(transport, peer, withZero);
    EXPECT_EQ(sent.bytes, withZero);

    peer.Reply(sent, std::string("MT\0junk", 7));
    peer.Reply(sent, "\r\n");
    EXPECT_EQ(ReadAtLeast(transport, 4), "MT\r\n");
}

// Any host can send to the transport's port. A stray datagram must neither
// add lines to a read nor end it.
TEST(EthernetTransport, UnicastTakesDatagramsFromTheModuleOnly) {
    UdpPeer module(kAddress);
    UdpPeer stray(kStrayAddress);
    CEthernet transport;
    const Datagram request = AskOverUdp(transport, module, "Salibinext\r\n");
    stray.Reply(request, "Malibiprn\r\n");
    module.Reply(request, "17;2026-01-05;12:00:01\r\n");
    EXPECT_EQ(ReadAtLeast(transport, 24), "17;2026-01-05;12:00:01\r\n");
    std::string rest;
    int32_t count = 1;
    EXPECT_FALSE(transport.Read(rest, count));
    EXPECT_EQ(rest, "");
}

// With broadcast every module that answers is listed, but the transport
// talks to the first of them only.
TEST(EthernetTransport, BroadcastListsEachReplySenderSinceTheLastWrite) {
    UdpPeer module(kAddress);
    UdpPeer second("127.0.0.22");
    UdpPeer third("127.0.0.23");
    CEthernet transport;
    ASSERT_TRUE(transport.SetParam("routing", "broadcast"));
    Aim(transport, kAddress, module.Port());
    ASSERT_TRUE(transport.Open());

    ASSERT_TRUE(transport.Write("X"));
    auto query = module.Receive(2000);
    ASSERT_TRUE(query);
    EXPECT_EQ(Param(transport, "broadcastip"), "");
    module.Reply(*query, "a");
    third.Reply(*query, "b");
    second.Reply(*query, "c");
    module.Reply(*query, "d");
    EXPECT_EQ(ReadAtLeast(transport, 2), "ad");
    EXPECT_EQ(Param(transport, "broadcastip"),
              "127.0.0.21\r\n127.0.0.23\r\n127.0.0.22\r\n127.0.0.21\r\n");

    ASSERT_TRUE(transport.Write("X"));  // a new question empties the list
    EXPECT_EQ(Param(transport, "broadcastip"), "");
    second.Reply(*query, "e");
    module.Reply(*query, "f");
    EXPECT_EQ(ReadAtLeast(transport, 1), "f");
    EXPECT_EQ(Param(transport, "broadcastip"), "127.0.0.22\r\n127.0.0.21\r\n");
}

TEST(EthernetTransport, OpenAndCloseTwice) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(transport.Open());
    EXPECT_TRUE(transport.IsOpen());
    EXPECT_EQ(listener.Accept(300), nullptr);  // one connection only

    EXPECT_TRUE(transport.Close());
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_TRUE(transport.Close());
    EXPECT_EQ(connection->Receive(1, 2000), "");  // the peer saw the end

    // A closed transport opens again.
    auto again = OpenTcp(transport, listener);
    EXPECT_NE(again, nullptr);
}

TEST(EthernetTransport, OpenFailsWithoutAPeerOrAnAddress) {
    CEthernet refused;
    Aim(refused, kAddress, 1);  // nothing listens on 127.0.0.21:1
    EXPECT_FALSE(refused.Open());
    EXPECT_FALSE(refused.IsOpen());
    EXPECT_EQ(refused.LastFailure().Text(),
              std::string("refused: ") + kAddress + ":1: connection refused");

    for (const char* ip : {"not an address", "0", "0.0.0.0", "127.0.0.256"}) {
        SCOPED_TRACE(ip);
        CEthernet noAddress;
        noAddress.SetParam("ip", ip);
        noAddress.SetParam("port", "1001");
        noAddress.SetParam("protokol", "udp");
        EXPECT_FALSE(noAddress.Open());
        EXPECT_FALSE(noAddress.IsOpen());
        EXPECT_EQ(noAddress.LastFailure().code, qel::FailureCode::kInvalid);
        EXPECT_NE(noAddress.LastFailure().detail.find(ip), std::string::npos)
            << "the reason names the address";
    }
}

// A connect may take up to 10 s. Other threads meanwhile get their answers
// at once, and a Close ends the connect.
TEST(EthernetTransport, AConnectInProgressHoldsUpNoOtherCaller) {
    ethtest::StalledListener silent(kSilentHost);
    CEthernet transport;
    Aim(transport, kSilentHost, silent.Port());
    std::atomic<bool> opened{true};
    std::atomic<bool> openEnded{false};
    std::thread opener([&] {
        opened = transport.Open();
        openEnded = true;
    });
    std::this_thread::sleep_for(300ms);  // well into the connect
    ASSERT_FALSE(openEnded);

    const auto start = Clock::now();
    EXPECT_EQ(Param(transport, "ip"), kSilentHost);
    EXPECT_EQ(Param(transport, "broadcastip"), "");
    EXPECT_TRUE(transport.SetParam("ip", kSilentHost));
    std::string out;
    int32_t count = 10;
    EXPECT_FALSE(transport.Read(out, count));
    EXPECT_FALSE(transport.Write("SI\r\n"));
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_LT(Clock::now() - start, 2s);

    EXPECT_TRUE(transport.Close());
    opener.join();
    EXPECT_LT(Clock::now() - start, 3s) << "Close ended the connect";
    EXPECT_FALSE(opened);
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.LastFailure().code, qel::FailureCode::kClosed)
        << transport.LastFailure().Text();
    EXPECT_NE(transport.LastFailure().detail.find(kSilentHost), std::string::npos);
}

// A peer that takes no connection is a timeout, named by its address; the
// transport's own wait is 10 s, the socket's is the caller's.
TEST(EthernetTransport, AConnectWithoutAnswerTimesOut) {
    ethtest::StalledListener silent(kSilentHost);
    qel::Outcome<std::unique_ptr<qel::Socket>> created =
        qel::Socket::Create(qel::Socket::Kind::kStream);
    ASSERT_NE(created.value, nullptr) << created.failure.Text();
    const qel::Ipv4Endpoint peer{*qel::ParseIpv4(kSilentHost), silent.Port()};
    EXPECT_EQ(created.value->Connect(peer, 300).Text(), std::string("timeout: ") + kSilentHost +
                                                            ":" + std::to_string(silent.Port()) +
                                                            ": timed out");
}

TEST(EthernetTransport, ReadAndWriteOnATransportNeverOpened) {
    CEthernet transport;
    std::string out = "old";
    int32_t count = 5;
    EXPECT_FALSE(transport.Read(out, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(transport.Write("ST\r\n"));
    EXPECT_FALSE(transport.IsOpen());
}

TEST(EthernetTransport, AFailedWriteClosesTheTransportWithoutASignal) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    connection->Reset();

    // The reset may take a moment to land; a send to a peer that is gone
    // must fail and must not raise SIGPIPE.
    bool failed = false;
    for (int attempt = 0; attempt < 100 && !failed; ++attempt) {
        failed = !transport.Write("ST\r\n");
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(transport.IsOpen());
    EXPECT_EQ(transport.LastFailure().code, qel::FailureCode::kClosed)
        << transport.LastFailure().Text();
    EXPECT_TRUE(transport.Close());
}

TEST(EthernetTransport, APeerThatClosesMidReadLeavesSilence) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    connection->Send("1;2026-01-05;12:");
    connection->Close();

    EXPECT_EQ(ReadAtLeast(transport, 16), "1;2026-01-05;12:");
    std::string line;
    const auto start = Clock::now();
    EXPECT_FALSE(transport.ReadLine(line, 100, 300));
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(line, "");
    EXPECT_TRUE(transport.IsOpen());  // only a failed send closes
    transport.Close();
}

TEST(EthernetTransport, ALongReplyArrivesWhole) {
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    std::string reply;
    for (int i = 0; reply.size() < 65536; ++i) {
        reply += static_cast<char>('A' + i % 26);
    }
    connection->Send(reply);
    EXPECT_EQ(ReadAtLeast(transport, reply.size()), reply);
}

TEST(EthernetTransport, ADatagramFloodStaysBounded) {
    UdpPeer module(kAddress);
    CEthernet transport;
    ASSERT_TRUE(transport.SetParam("routing", "broadcast"));
    Aim(transport, kAddress, module.Port());
    ASSERT_TRUE(transport.Open());
    ASSERT_TRUE(transport.Write("X"));
    auto query = module.Receive(2000);
    ASSERT_TRUE(query);

    const std::string payload(512, 'x');
    for (int i = 0; i < 6000; ++i) {
        module.Reply(*query, payload);
    }
    std::this_thread::sleep_for(300ms);
    std::string out;
    int32_t count = 1;
    transport.Read(out, count);
    EXPECT_GT(count, 0);
    EXPECT_LE(out.size(), 1024u * 1024u);
    const std::string list = Param(transport, "broadcastip");
    EXPECT_LE(std::count(list.begin(), list.end(), '\n'), 4096);
    EXPECT_TRUE(transport.Close());
}

TEST(EthernetTransport, OpenStartsTheNamedReceivingThreads) {
    // The system shows the first 15 bytes of a name; a thread names itself
    // when it starts, so give it a moment.
    auto countWithin = [](const std::string& name, long expected) {
        long found = -1;
        for (int attempt = 0; attempt < 200 && found != expected; ++attempt) {
            auto names = ethtest::ThreadNames();
            found = std::count(names.begin(), names.end(), name);
            if (found != expected) {
                std::this_thread::sleep_for(10ms);
            }
        }
        return found;
    };
    TcpListener listener(kAddress);
    CEthernet transport;
    auto connection = OpenTcp(transport, listener);
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(countWithin("EthernetReceive", 1), 1);
    EXPECT_EQ(countWithin("TibboServiceRec", 1), 1);

    transport.Close();
    EXPECT_EQ(countWithin("EthernetReceive", 0), 0);
    EXPECT_EQ(countWithin("TibboServiceRec", 0), 0);
}

}  // namespace
