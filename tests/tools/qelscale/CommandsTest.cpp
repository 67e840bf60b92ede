// qelscale's short commands, uploads and module settings against the simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ScaleSimProcess.h"
#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/qelscale-commands-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

ToolResult OnPty(const ScaleSimProcess& sim, std::vector<std::string> args) {
    args.insert(args.begin(), {"--port", sim.PtyPath()});
    return RunTool(args);
}

TEST(Info, PrintsTheIdentityLines) {
    ScaleSimProcess sim({"--pty", "--type", "Bench 60", "--serial", "4711", "--records", "12"});
    const ToolResult text = OnPty(sim, {"info"});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    const std::vector<std::string> lines = LinesOf(text.out);
    ASSERT_EQ(lines.size(), 7u) << text.out;
    EXPECT_EQ(lines[0], "type: Bench 60");
    EXPECT_EQ(lines[1], "serialNumber: 4711");
    EXPECT_EQ(lines[2], "productionDate: 2019-03-01");
    EXPECT_EQ(lines[5], "extraNumber: 12");

    const ToolResult json = OnPty(sim, {"info", "--json"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out.rfind("{\"type\":\"Bench 60\",\"serialNumber\":4711,", 0), 0u) << json.out;
}

TEST(Weigh, TareAndZeroAreAcknowledgedAndChangeTheWeight) {
    ScaleSimProcess sim({"--pty", "--weight", "2.5"});
    const ToolResult before = OnPty(sim, {"weigh"});
    ASSERT_EQ(before.exitCode, 0) << before.err;
    EXPECT_EQ(before.out, "2.5 kg\n");

    const ToolResult tare = OnPty(sim, {"tare"});
    EXPECT_EQ(tare.exitCode, 0) << tare.err;
    EXPECT_EQ(tare.out, "");
    const ToolResult tared = OnPty(sim, {"weigh", "--json"});
    ASSERT_EQ(tared.exitCode, 0) << tared.err;
    EXPECT_EQ(tared.out, "{\"value\":0,\"unit\":\"kg\",\"highOrLow\":false}\n");

    EXPECT_EQ(OnPty(sim, {"zero"}).exitCode, 0);
    EXPECT_EQ(OnPty(sim, {"sj"}).exitCode, 0);
    const ToolResult stable = OnPty(sim, {"weigh", "--sx3", "--json"});
    ASSERT_EQ(stable.exitCode, 0) << stable.err;
    EXPECT_EQ(stable.out, "{\"value\":0,\"unit\":\"kg\",\"stable\":true}\n");
}

TEST(Weigh, LimitsShowInTheWeight) {
    ScaleSimProcess sim({"--pty", "--weight", "2.5"});
    ASSERT_EQ(OnPty(sim, {"set-high", "2"}).exitCode, 0);
    EXPECT_EQ(OnPty(sim, {"weigh"}).out, "2.5 kg high-or-low\n");
    ASSERT_EQ(OnPty(sim, {"set-high", "100"}).exitCode, 0);
    ASSERT_EQ(OnPty(sim, {"set-low", "0.5"}).exitCode, 0);
    EXPECT_EQ(OnPty(sim, {"weigh"}).out, "2.5 kg\n");
}

std::string WriteFirmware(const TempDir& dir) {
    const std::string path = (dir / "scale.hex").string();
    std::ofstream(path) << ":10000000AA\n:10001000BB\n:10002000CC\n:00000001FF\n";
    return path;
}

TEST(Firmware, ARefusedLineIsSentAgainAndTheUploadSucceeds) {
    TempDir dir;
    const std::string accepted = (dir / "accepted").string();
    ScaleSimProcess sim({"--pty", "--fw-refuse", "2", "--fw-out", accepted});
    const ToolResult run = OnPty(sim, {"firmware", WriteFirmware(dir)});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadFile(accepted), ":10000000AA\n:10001000BB\n:10002000CC\n:00000001FF\n");
}

TEST(Firmware, ALineRefusedTwiceFailsNamingTheLine) {
    TempDir dir;
    ScaleSimProcess sim({"--pty", "--fw-refuse", "2", "--fw-refuse-twice"});
    const ToolResult run = OnPty(sim, {"firmware", WriteFirmware(dir)});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "qelscale: the scale refused firmware line 2 twice\n");
}

// The Ethernet module on its own loopback address: its management port is
// 65535 there.
TEST(Module, ShowsAndSetsItsSerialSide) {
    ScaleSimProcess sim({"--tcp", "127.0.0.65:0", "--tibbo", "--tibbo-owner", "Dock 4"});
    const std::string tcp = sim.TcpAddress() + ":" + std::to_string(sim.TcpPort());
    const ToolResult shown = RunTool({"--tcp", tcp, "module", "show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(shown.out,
              "mac: 000.036.119.087.016.042\nowner: Dock 4\nfirmVer: 3.66/EM1000\nbaud: 9600\n");

    const ToolResult set = RunTool({"--tcp", tcp, "module", "set", "baud", "38400"});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(RunTool({"--tcp", tcp, "module", "set", "parity", "e"}).exitCode, 0);
    const ToolResult after = RunTool({"--tcp", tcp, "module", "show"});
    EXPECT_NE(after.out.find("baud: 38400\n"), std::string::npos) << after.out;
}

TEST(Module, ARefusedSettingFails) {
    ScaleSimProcess sim({"--tcp", "127.0.0.66:0", "--tibbo", "--tibbo-refuse", "PBR"});
    const std::string tcp = sim.TcpAddress() + ":" + std::to_string(sim.TcpPort());
    const ToolResult run = RunTool({"--tcp", tcp, "module", "set", "baud", "19200"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "qelscale: the Ethernet module refused baud 19200\n");
}

TEST(Module, LoadsAnImageIntoTheModule) {
    TempDir dir;
    const fs::path image = dir / "module.bin";
    std::string bytes;
    for (int i = 0; i < 300; ++i) {  // three blocks, the last one short
        bytes += static_cast<char>(i * 7 % 256);
    }
    std::ofstream(image, std::ios::binary) << bytes;
    const std::string loaded = (dir / "loaded.bin").string();
    ScaleSimProcess sim({"--tcp", "127.0.0.68:0", "--tibbo", "--tibbo-image-out", loaded});
    const ToolResult run = RunTool({"--tcp", sim.TcpAddress() + ":" + std::to_string(sim.TcpPort()),
                                    "module", "firmware", image.string()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(loaded), bytes);
}

#ifdef FTD2XX_STANDIN_DIR
// USB converters through the project's D2XX stand-in, found as an installed
// D2XX library would be.
TEST(Usb, ListsTheConvertersAndTalksThroughTheChosenOne) {
    ScaleSimProcess sim({"--pty", "--weight", "3.75"});
    ToolOptions options;
    options.environment = {
        std::string("LD_LIBRARY_PATH=") + FTD2XX_STANDIN_DIR,
        "FTD2XX_STANDIN_DEVICES=device peer=none;device peer=pty:" + sim.PtyPath()};
    const ToolResult ports = RunTool({"ports"}, options);
    ASSERT_EQ(ports.exitCode, 0) << ports.err;
    EXPECT_NE(ports.out.find("usb\t1\nusb\t2\n"), std::string::npos) << ports.out;

    const ToolResult weight = RunTool({"--usb", "2", "weigh"}, options);
    EXPECT_EQ(weight.exitCode, 0) << weight.err;
    EXPECT_EQ(weight.out, "3.75 kg\n");

    const ToolResult missing = RunTool({"--usb", "3", "weigh"}, options);
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_EQ(missing.err.rfind("qelscale: could not connect to USB 3: ", 0), 0u) << missing.err;
    EXPECT_EQ(LinesOf(missing.err).size(), 1u) << missing.err;
}
#endif

// The password reaches the module whole: the simulated module joins only
// with the exact password, so a quote, comma or backslash lost or taken as
// syntax would fail the join.
TEST(Wifi, JoinsWithAPasswordHoldingQuoteCommaAndBackslash) {
    TempDir dir;
    const std::string log = (dir / "wifi.log").string();
    ScaleSimProcess sim({"--pty", "--wifi-network", "Lab 2,pa\"ss\\,wo\\\\rd", "--wifi-log", log});
    const ToolResult run = OnPty(sim, {"wifi", "join", "Lab 2", "pa\"ss,wo\\rd"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_NE(ReadFile(log).find("AT+CWJAP_DEF=\"Lab 2\",\"pa\\\"ss\\,wo\\\\rd\""),
              std::string::npos)
        << ReadFile(log);
}

}  // namespace

namespace {

TEST(Wifi, FixedAddressesShowInItsSettings) {
    ScaleSimProcess sim({"--pty"});
    const ToolResult set =
        OnPty(sim, {"wifi", "static", "192.168.7.20", "255.255.255.0", "192.168.7.1"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    const ToolResult shown = OnPty(sim, {"wifi", "show"});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    const std::string text = shown.out;
    for (const char* expected :
         {"network:\n", "dhcp:\n", "dhcpfields:\n", "workmode:\n",
          "  +CIPAP_DEF:ip:\"192.168.7.20\"\n", "  +CIPAP_DEF:gateway:\"192.168.7.1\"\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
    }
}

}  // namespace
