// What qelscale tells a script: the exit code, and one line on stderr per
// failure.
#include <gtest/gtest.h>

#include "ScaleSimProcess.h"
#include "ToolRun.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

struct UsageCase {
    std::vector<std::string> args;
    std::string error;
};

TEST(ExitCodes, UsageErrorsGiveTwoWithTheUsageText) {
    const std::vector<UsageCase> cases = {
        {{}, "qelscale: no command given"},
        {{"weigh-twice"}, "qelscale: unknown command 'weigh-twice'"},
        {{"read"}, "qelscale: no connection given: use --port, --usb, --tcp or --udp"},
        {{"--port", "/dev/null", "--tcp", "127.0.0.1:1", "info"},
         "qelscale: give only one of --port, --usb, --tcp and --udp"},
        {{"--port", "/dev/null", "--baud", "1234", "info"}, "qelscale: --baud must be one of"},
        {{"--port", "/dev/null", "--parity", "X", "info"}, "qelscale: --parity must be N, O or E"},
        {{"--tcp", "127.0.0.1", "info"}, "qelscale: --tcp must be HOST:PORT"},
        {{"--tcp", "127.0.0.1:70000", "info"}, "qelscale: --tcp must be HOST:PORT"},
        {{"--tcp", "127.0.0.1:1", "--bits", "7", "info"}, "qelscale: --bits applies to --port"},
        {{"--port", "/dev/null", "read", "--format", "xml"},
         "qelscale: --format must be csv or jsonl"},
        {{"--port", "/dev/null", "info", "--format", "csv"},
         "qelscale: info: Unknown option 'format'"},
        {{"--port", "/dev/null", "set-low"}, "qelscale: set-low: unexpected arguments"},
        {{"--port", "/dev/null", "set-low", "ten"}, "qelscale: set-low: VALUE must be a number"},
        {{"--port", "/dev/null", "module", "show"}, "qelscale: module needs --tcp or --udp"},
        {{"--tcp", "127.0.0.1:1", "module", "set", "owner", "x"}, "qelscale: module set takes"},
        {{"--port", "/dev/null", "wifi", "join", "OnlySsid"},
         "qelscale: wifi: unexpected arguments"},
        {{"--port", "/dev/null", "--timeout", "0", "tare"}, "qelscale: --timeout must be"},
    };
    for (const UsageCase& c : cases) {
        const ToolResult run = RunTool(c.args);
        std::string shown;
        for (const std::string& arg : c.args) {
            shown += arg + " ";
        }
        EXPECT_EQ(run.exitCode, 2) << shown;
        EXPECT_TRUE(StartsWith(run.err, c.error)) << shown << "\n" << run.err;
        EXPECT_NE(run.err.find("\nUsage:"), std::string::npos) << shown << "\n" << run.err;
        EXPECT_EQ(run.out, "") << shown;
    }
}

TEST(ExitCodes, AConnectionThatCannotBeOpenedGivesThreeWithTheReason) {
    // The arguments, and the port or address the one line must name.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--port", "/nonexistent/ttyQ7", "info"}, "/nonexistent/ttyQ7"},
        // Nothing listens on port 1 of this address: the connection is refused.
        {{"--tcp", "127.0.0.67:1", "tare"}, "127.0.0.67:1"},
    };
    for (const auto& [args, target] : cases) {
        const ToolResult run = RunTool(args);
        EXPECT_EQ(run.exitCode, 3) << target;
        EXPECT_TRUE(StartsWith(run.err, "qelscale: could not connect")) << run.err;
        EXPECT_NE(run.err.find(target + ": "), std::string::npos)
            << "a reason follows: " << run.err;
        EXPECT_EQ(LinesOf(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST(ExitCodes, ARefusingOrSilentScaleGivesOne) {
    ScaleSimProcess sim({"--pty", "--silent-at", "st", "--wifi-refuse"});
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"tare", "--timeout", "300"}, "qelscale: the scale did not acknowledge ST\n"},
        {{"wifi", "dhcp"}, "qelscale: the WiFi module did not turn DHCP on\n"},
    };
    for (const auto& [args, error] : cases) {
        std::vector<std::string> all{"--port", sim.PtyPath()};
        all.insert(all.end(), args.begin(), args.end());
        const ToolResult run = RunTool(all);
        EXPECT_EQ(run.exitCode, 1) << args.front();
        EXPECT_EQ(run.err, error);
    }
}

TEST(ExitCodes, HelpAndVersionGiveZero) {
    const ToolResult version = RunTool({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "qelscale " QELSCALE_TOOL_VERSION "\n");

    const ToolResult help = RunTool({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"ports", "read", "info", "weigh", "tare", "zero", "set-low VALUE", "set-high VALUE",
          "firmware FILE", "module show | set KEY VALUE | firmware FILE",
          "wifi show | join SSID PASSWORD | dhcp | static IP MASK GATEWAY"}) {
        const std::string line = std::string("\n  ") + command;
        const std::size_t at = help.out.find(line);
        ASSERT_NE(at, std::string::npos) << command;
        EXPECT_TRUE(help.out[at + line.size()] == ' ' || help.out[at + line.size()] == '\n')
            << command;
    }
    // A command's help shows its own options and no other command's.
    const ToolResult read = RunTool({"read", "--help"});
    EXPECT_EQ(read.exitCode, 0);
    EXPECT_NE(read.out.find("--format"), std::string::npos);
    EXPECT_EQ(read.out.find("--bssid"), std::string::npos);
    EXPECT_EQ(RunTool({"help", "read"}).out, read.out);
}

}  // namespace
