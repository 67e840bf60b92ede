// The module's management protocol through the Ethernet transport: a scripted
// module answers on UDP 127.0.0.24:65535 (and 127.0.0.25:65535), the scale's
// data port is a TCP listener on the same address.
#include <gtest/gtest.h>

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
        ASSERT_TRUE(transport_.Open()) << transport_.LastError();
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
        const char* datagram;
    };
    const Case cases[] = {
        {"baud", "9600", "PBR3"},
        {"baud", "115200", "PBR7"},
        {"baud", "1200", "PBR0"},
        // A rate outside the table keeps the stored one and sends it again.
        {"baud", "300", "PBR0"},
        {"baud", "abc", "PBR0"},
        {"parity", "O", "PPR2"},
        {"parity", "N", "PPR0"},
        {"parity", "E", "PPR1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + "=" + c.value);
        module_->ClearCommands();
        EXPECT_TRUE(transport_.SetParam(c.key, c.value));
        EXPECT_EQ(module_->Commands(), Strings{c.datagram});
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
