// The module's management protocol through the Ethernet transport: a scripted
// module answers on UDP 127.0.0.24:65535 (and 127.0.0.25:65535), the scale's
// data port is a TCP listener on the same address; 127.0.0.33 is a stranger.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

#include "LoopbackPeers.h"
#include "ethernet/CEthernet.h"

namespace {

using namespace std::chrono_literals;
using ethtest::ModuleResponder;
using ethtest::TcpConnection;
using ethtest::TcpListener;
using qel::CEthernet;
using Strings = std::vector<std::string>;

const char* const kAddress = "127.0.0.24";
const char* const kStrayAddress = "127.0.0.33";
const char* const kIdentity = "A000.036.119.080.012.034/0000NN0000/Scale1/ok";

std::string Param(CEthernet& transport, const char* key) {
    const char* value = transport.GetParam(key);
    return value == nullptr ? "<null>" : value;
}

// Replies set by the test, per command prefix; thread-safe for the module.
class Replies {
public:
    void Set(const std::string& command, std::optional<std::string> reply) {
        std::lock_guard lock(mutex_);
        replies_[command] = std::move(reply);
    }
    std::optional<std::string> For(const std::string& command) {
        std::lock_guard lock(mutex_);
        for (const auto& [prefix, reply] : replies_) {
            if (command.rfind(prefix, 0) == 0) {
                return reply;
            }
        }
        return std::nullopt;
    }

private:
    std::mutex mutex_;
    std::map<std::string, std::optional<std::string>> replies_;
};

class ModuleService : public ::testing::Test {
protected:
    // Opens the transport over TCP with the module answering what `replies`
    // holds.
    void OpenTo(const char* address) {
        module_ = std::make_unique<ModuleResponder>(
            address, [this](const std::string& command) { return replies_.For(command); });
        listener_ = std::make_unique<TcpListener>(address);
        transport_.SetParam("ip", address);
        transport_.SetParam("port", std::to_string(listener_->Port()).c_str());
        ASSERT_TRUE(transport_.Open()) << transport_.LastFailure().Text();
        connection_ = listener_->Accept(2000);
        ASSERT_NE(connection_, nullptr);
    }

    Replies replies_;
    std::unique_ptr<ModuleResponder> module_;
    std::unique_ptr<TcpListener> listener_;
    std::unique_ptr<TcpConnection> connection_;
    CEthernet transport_;  // closed first
};

TEST_F(ModuleService, BaudAndParitySettingsGoToTheModule) {
    replies_.Set("P", "A");
    OpenTo(kAddress);
    struct Case {
        const char* key;
        const char* value;
        bool taken;
        Strings datagrams;
    };
    const Case cases[] = {
        {"baud", "9600", true, {"PBR3"}},
        {"baud", "115200", true, {"PBR7"}},
        {"baud", "1200", true, {"PBR0"}},
        // A rate outside the table keeps the stored one, and says so.
        {"baud", "300", false, {}},
        {"baud", "abc", false, {}},
        {"parity", "O", true, {"PPR2"}},
        {"parity", "N", true, {"PPR0"}},
        {"parity", "E", true, {"PPR1"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        module_->ClearCommands();
        EXPECT_EQ(transport_.SetParam(c.key, c.value), c.taken);
        std::this_thread::sleep_for(c.datagrams.empty() ? 100ms : 0ms);
        EXPECT_EQ(module_->Commands(), c.datagrams);
    }
    EXPECT_EQ(transport_.Baud(), 1200);
    EXPECT_EQ(transport_.Parity(), 'E');
    EXPECT_EQ(connection_->Receive(1, 50), "");  // nothing went to the scale
}

TEST_F(ModuleService, OnlyAPlainAcceptanceConfirmsASetting) {
    OpenTo(kAddress);
    struct Case {
        std::optional<std::string> reply;
        bool confirmed;
    };
    const Case cases[] = {{"A", true}, {"F", false}, {"AA", false}, {"a", false}, {{}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.value_or("<silence>"));
        replies_.Set("PBR", c.reply);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(transport_.SetParam("baud", "19200"), c.confirmed);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    }
}

TEST_F(ModuleService, ALateReplyIsNotTakenForTheNextCommand) {
    OpenTo(kAddress);
    module_.reset();
    module_ = std::make_unique<ModuleResponder>(
        kAddress, [](const std::string& command) -> std::optional<std::string> {
            if (command.rfind("PBR", 0) == 0) {
                std::this_thread::sleep_for(150ms);  // after the 50 ms wait
                return "A";
            }
            return std::nullopt;
        });
    EXPECT_FALSE(transport_.SetParam("baud", "9600"));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(transport_.SetParam("parity", "N"));
    EXPECT_EQ(module_->Commands(), (Strings{"PBR3", "PPR0"}));
}

// Only the module's management port answers. Datagrams from another host,
// or from another port of the module's host, neither pass for its reply nor
// draw the next command to their sender.
TEST_F(ModuleService, StrayDatagramsNeitherAnswerNorRedirect) {
    replies_.Set("PBR", "A");
    OpenTo(kAddress);
    ASSERT_TRUE(transport_.SetParam("baud", "9600"));
    const std::optional<ethtest::Datagram> channel = module_->LastCommand();
    ASSERT_TRUE(channel);

    replies_.Set("PBR", std::nullopt);  // the module is silent from now on
    ethtest::UdpPeer strayModule(kStrayAddress, 65535);
    ethtest::UdpPeer strayPort(kAddress);
    std::atomic<bool> flooding{true};
    std::thread flood([&] {
        while (flooding) {
            strayModule.Reply(*channel, "A");
            strayPort.Reply(*channel, "A");
            std::this_thread::sleep_for(2ms);
        }
    });
    EXPECT_FALSE(transport_.SetParam("baud", "19200"));
    EXPECT_FALSE(transport_.SetParam("parity", "E"));
    flooding = false;
    flood.join();

    replies_.Set("P", "A");
    module_->ClearCommands();
    EXPECT_TRUE(transport_.SetParam("baud", "2400"));
    EXPECT_EQ(module_->Commands(), Strings{"PBR1"});
    EXPECT_FALSE(strayModule.Receive(0)) << "no command went to the stranger";
    EXPECT_FALSE(strayPort.Receive(0));
}

// With broadcast the first module that answers is the one the channel talks
// to; another that answers later is not heard.
TEST_F(ModuleService, BroadcastTalksToTheFirstModuleThatAnswers) {
    replies_.Set("PBR", "A");
    transport_.SetParam("routing", "broadcast");
    transport_.SetParam("protokol", "udp");
    module_ = std::make_unique<ModuleResponder>(
        kAddress, [this](const std::string& command) { return replies_.For(command); });
    ethtest::UdpPeer data(kAddress);
    transport_.SetParam("ip", kAddress);
    transport_.SetParam("port", std::to_string(data.Port()).c_str());
    ASSERT_TRUE(transport_.Open()) << transport_.LastFailure().Text();
    ASSERT_TRUE(transport_.SetParam("baud", "9600"));
    const std::optional<ethtest::Datagram> channel = module_->LastCommand();
    ASSERT_TRUE(channel);

    replies_.Set("PBR", std::nullopt);
    ethtest::UdpPeer second(kStrayAddress, 65535);
    std::atomic<bool> answering{true};
    std::thread other([&] {
        while (answering) {
            second.Reply(*channel, "A");
            std::this_thread::sleep_for(2ms);
        }
    });
    EXPECT_FALSE(transport_.SetParam("baud", "19200"));
    answering = false;
    other.join();
    EXPECT_EQ(module_->Commands(), (Strings{"PBR3", "PBR4"}));
}

TEST_F(ModuleService, ModuleBaudIsReadInASession) {
    replies_.Set("L", "A");
    replies_.Set("O", "A");
    OpenTo(kAddress);
    struct Case {
        std::optional<std::string> reply;
        const char* baud;
    };
    const Case cases[] = {{"A5", "38400"}, {"A7", "115200"}, {"A0", "1200"}, {"A8", "0"},
                          {"Ax", "0"},     {"A", "0"},       {{}, "0"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.value_or("<silence>"));
        replies_.Set("GBR", c.reply);
        module_->ClearCommands();
        EXPECT_EQ(Param(transport_, "baud"), c.baud);
        EXPECT_EQ(module_->Commands(), (Strings{"L", "GBR", "O"}));
    }
}

TEST_F(ModuleService, OwnerAndMacComeFromTheIdentity) {
    OpenTo("127.0.0.25");
    struct Case {
        std::optional<std::string> identity;
        const char* owner;
        const char* mac;
    };
    const Case cases[] = {
        {kIdentity, "Scale1", "000.036.119.080.012.034"},
        {"Amac/only", "Amac", "mac"},
        {"Anoslash", "", ""},
        {"A/x/y", "x", ""},
        {{}, "?", "?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.identity.value_or("<silence>"));
        replies_.Set("X", c.identity);
        EXPECT_EQ(Param(transport_, "owner"), c.owner);
        EXPECT_EQ(Param(transport_, "mac"), c.mac);
    }
}

TEST_F(ModuleService, FirmwareVersionDropsTheStatusLetter) {
    OpenTo("127.0.0.25");
    replies_.Set("V", "A3.51.07");
    EXPECT_EQ(Param(transport_, "firmVer"), "3.51.07");
    replies_.Set("V", std::nullopt);
    EXPECT_EQ(Param(transport_, "firmVer"), "");
    EXPECT_EQ(module_->Commands(), (Strings{"V", "V"}));
}

TEST_F(ModuleService, WithoutAServiceChannelTheModuleIsNotAsked) {
    replies_.Set("", "A");
    module_ = std::make_unique<ModuleResponder>(
        kAddress, [this](const std::string& command) { return replies_.For(command); });
    CEthernet closed;
    closed.SetParam("ip", kAddress);
    closed.SetParam("port", "1001");
    EXPECT_FALSE(closed.SetParam("baud", "19200"));
    EXPECT_EQ(closed.Baud(), 19200);
    EXPECT_FALSE(closed.SetParam("parity", "E"));
    EXPECT_EQ(Param(closed, "baud"), "0");
    EXPECT_EQ(Param(closed, "owner"), "?");
    EXPECT_EQ(Param(closed, "mac"), "?");
    EXPECT_EQ(Param(closed, "firmVer"), "?");

    // On the management port itself only the version is asked, over the
    // transport.
    CEthernet management;
    management.SetParam("ip", kAddress);
    management.SetParam("port", "65535");
    management.SetParam("protokol", "tcp");
    EXPECT_EQ(Param(management, "firmVer"), "?");
    management.SetParam("protokol", "udp");
    ASSERT_TRUE(management.Open());
    EXPECT_FALSE(management.SetParam("baud", "9600"));
    EXPECT_EQ(Param(management, "owner"), "?");
    EXPECT_TRUE(module_->Commands().empty());
}

TEST_F(ModuleService, FirmwareVersionOverTheManagementPortItself) {
    replies_.Set("V", "A3.51.07");
    module_ = std::make_unique<ModuleResponder>(
        "127.0.0.25", [this](const std::string& command) { return replies_.For(command); });
    CEthernet transport;
    transport.SetParam("ip", "127.0.0.25");
    transport.SetParam("port", "65535");
    transport.SetParam("protokol", "udp");
    ASSERT_TRUE(transport.Open());
    EXPECT_EQ(Param(transport, "firmVer"), "3.51.07");
    EXPECT_EQ(module_->Commands(), Strings{"V"});
}

}  // namespace
