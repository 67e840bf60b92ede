// qelscale read against the simulator: every record of its memory comes out,
// in order and field by field, in both formats, over a pseudo-terminal and
// over TCP; --out is all or nothing; progress only on a terminal.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "ScaleSimProcess.h"
#include "ToolRun.h"

namespace {

namespace fs = std::filesystem;

// A record as the scale sends it, and the two lines qelscale must make of it.
struct Record {
    std::string line;
    std::string csv;
    std::string json;
};

std::string Mass(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// As a scale writes them, masses carry exactly the record's decimals, and the
// output gives them back with those decimals.
Record Generated(int id) {
    static const char* const units[] = {"kg", "g", "lb", "ct", "N", "oz", "ozt", "mg", "dwt", "gr"};
    const std::string unit = units[id % 10];
    const int decimals = id % 4;
    const double net = id * 0.125;
    const double tare = (id % 3) * 0.25;
    const std::string date =
        "2024-05-" + std::string(id % 28 < 9 ? "0" : "") + std::to_string(id % 28 + 1);
    const std::string time =
        "12:" + std::string(id % 60 < 10 ? "0" : "") + std::to_string(id % 60) + ":07";
    const std::string user = "U" + std::to_string(id % 7);
    const std::string product = "P" + std::to_string(1000 + id);
    const bool stable = id % 5 != 0;
    Record record;
    const std::string masses[] = {Mass(net, decimals), Mass(net + tare, decimals),
                                  Mass(tare, decimals)};
    std::ostringstream line;
    line << id << ';' << date << ';' << time << ';' << id + 100 << ';' << user << ';' << product
         << ';' << masses[0] << ';' << masses[1] << ';' << masses[2] << ';' << unit << ';'
         << decimals << ';' << (stable ? 1 : 0);
    record.line = line.str();
    record.csv = std::to_string(id) + "," + date + "," + time + "," + std::to_string(id + 100) +
                 "," + user + "," + product + "," + masses[0] + "," + masses[1] + "," + masses[2] +
                 "," + unit + "," + std::to_string(decimals) + "," + (stable ? "true" : "false");
    record.json = "{\"recordId\":" + std::to_string(id) + ",\"date\":\"" + date + "\",\"time\":\"" +
                  time + "\",\"number\":" + std::to_string(id + 100) + ",\"userId\":\"" + user +
                  "\",\"productId\":\"" + product + "\",\"net\":" + masses[0] +
                  ",\"gross\":" + masses[1] + ",\"tare\":" + masses[2] + ",\"unit\":\"" + unit +
                  "\",\"decimals\":" + std::to_string(decimals) +
                  ",\"stable\":" + (stable ? "true" : "false") + "}";
    return record;
}

// Texts that need quoting in CSV and escaping in JSON, a UTF-8 letter, and a
// negative mass.
std::vector<Record> Memory() {
    std::vector<Record> records;
    records.push_back(
        {"62;2024-06-01;23:59:59;7;U,1;P\"2 K\xc3\xa4se;-0.5;1.25;1.75;kg;3;1",
         "62,2024-06-01,23:59:59,7,\"U,1\",\"P\"\"2 K\xc3\xa4se\",-0.500,1.250,1.750,kg,3,true",
         "{\"recordId\":62,\"date\":\"2024-06-01\",\"time\":\"23:59:59\",\"number\":7,"
         "\"userId\":\"U,1\",\"productId\":\"P\\\"2 K\xc3\xa4se\",\"net\":-0.500,"
         "\"gross\":1.250,\"tare\":1.750,\"unit\":\"kg\",\"decimals\":3,\"stable\":true}"});
    for (int id = 61; id >= 1; --id) {
        records.push_back(Generated(id));
    }
    return records;
}

std::string WriteMemoryFile(const fs::path& dir, const std::vector<Record>& records) {
    const fs::path path = dir / "memory.txt";
    std::ofstream file(path);
    file << "# the simulator's memory, newest first\n";
    for (const Record& record : records) {
        file << record.line << "\n";
    }
    return path.string();
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/qelscale-read-XXXXXX";
        path_ = mkdtemp(name);
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

enum class Carrier { Pty, Tcp };

struct ReadCase {
    Carrier carrier;
    std::string format;
};

std::string CaseName(const testing::TestParamInfo<ReadCase>& info) {
    return std::string(info.param.carrier == Carrier::Pty ? "Pty" : "Tcp") + "_" +
           info.param.format;
}

std::vector<std::string> SimArgs(Carrier carrier, const std::string& memoryFile) {
    if (carrier == Carrier::Pty) {
        return {"--pty", "--records-file", memoryFile};
    }
    return {"--tcp", "127.0.0.64:0", "--records-file", memoryFile};
}

std::vector<std::string> Connection(Carrier carrier, const ScaleSimProcess& sim) {
    if (carrier == Carrier::Pty) {
        return {"--port", sim.PtyPath()};
    }
    return {"--tcp", sim.TcpAddress() + ":" + std::to_string(sim.TcpPort())};
}

std::vector<std::string> Args(std::vector<std::string> connection, std::vector<std::string> rest) {
    connection.insert(connection.end(), rest.begin(), rest.end());
    return connection;
}

// A decimal comma in the user's locale must not reach the numbers.
const ToolOptions kPolish{false, {"LC_ALL=pl_PL.UTF-8"}};

class ReadFormats : public testing::TestWithParam<ReadCase> {};

TEST_P(ReadFormats, GivesEveryRecordOfTheMemoryInOrder) {
    TempDir dir;
    const std::vector<Record> memory = Memory();
    ScaleSimProcess sim(SimArgs(GetParam().carrier, WriteMemoryFile(dir.path(), memory)));
    const ToolResult run =
        RunTool(Args(Connection(GetParam().carrier, sim), {"read", "--format", GetParam().format}),
                kPolish);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");  // no progress: stderr is a pipe here
    const std::vector<std::string> lines = LinesOf(run.out);
    ASSERT_EQ(lines.size(), memory.size() + 1) << run.out;
    if (GetParam().format == "csv") {
        EXPECT_EQ(lines[0],
                  "recordId,date,time,number,userId,productId,net,gross,tare,unit,"
                  "decimals,stable");
        EXPECT_NE(run.out.find("stable\r\n"), std::string::npos)
            << "RFC 4180 ends lines with CR LF";
    } else {
        EXPECT_EQ(lines[0],
                  "{\"type\":\"SIM 6/C1\",\"serialNumber\":560123,\"productionDate\":"
                  "\"2019-03-01\",\"count\":" +
                      std::to_string(memory.size()) + "}");
    }
    for (std::size_t i = 0; i < memory.size(); ++i) {
        EXPECT_EQ(lines[i + 1], GetParam().format == "csv" ? memory[i].csv : memory[i].json)
            << "record line " << memory[i].line;
    }
}

INSTANTIATE_TEST_SUITE_P(Carriers, ReadFormats,
                         testing::Values(ReadCase{Carrier::Pty, "csv"},
                                         ReadCase{Carrier::Pty, "jsonl"},
                                         ReadCase{Carrier::Tcp, "csv"},
                                         ReadCase{Carrier::Tcp, "jsonl"}),
                         CaseName);

TEST(ReadOut, WritesTheFileAndNothingToStandardOutput) {
    TempDir dir;
    const std::vector<Record> memory = Memory();
    ScaleSimProcess sim(SimArgs(Carrier::Tcp, WriteMemoryFile(dir.path(), memory)));
    const fs::path out = dir.path() / "records.csv";
    const ToolResult run = RunTool(
        Args(Connection(Carrier::Tcp, sim), {"read", "--format", "csv", "--out", out.string()}));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> lines = LinesOf(ReadFile(out));
    ASSERT_EQ(lines.size(), memory.size() + 1);
    EXPECT_EQ(lines.back(), memory.back().csv);
}

TEST(ReadOut, AFailedReadLeavesTheOldFileAndNoOther) {
    TempDir dir;
    const std::vector<Record> memory = Memory();
    // The scale stays silent after Salibiprn: the library reports no answer.
    ScaleSimProcess sim(
        {"--pty", "--records-file", WriteMemoryFile(dir.path(), memory), "--silent-at", "type"});
    const fs::path out = dir.path() / "records.jsonl";
    { std::ofstream(out) << "yesterday's copy\n"; }
    const ToolResult run = RunTool({"--port", sim.PtyPath(), "read", "--out", out.string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(LinesOf(run.err).size(), 1u) << run.err;
    EXPECT_EQ(run.err.rfind("qelscale: ", 0), 0u) << run.err;
    EXPECT_EQ(ReadFile(out), "yesterday's copy\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names.size(), 2u) << "only the memory file and the old copy";
}

TEST(ReadProgress, IsDrawnOnATerminalOnly) {
    TempDir dir;
    const std::vector<Record> memory = Memory();
    ScaleSimProcess sim(SimArgs(Carrier::Pty, WriteMemoryFile(dir.path(), memory)));
    const std::vector<std::string> args{"--port", sim.PtyPath(), "read"};

    const ToolResult piped = RunTool(args);
    ASSERT_EQ(piped.exitCode, 0) << piped.err;
    EXPECT_EQ(piped.err, "");

    ToolOptions terminal;
    terminal.stderrTerminal = true;
    const ToolResult shown = RunTool(args, terminal);
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    const std::string count = std::to_string(memory.size());
    EXPECT_NE(shown.err.find(count + "/" + count + " records"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.out, piped.out) << "the bar never reaches the result";
}

}  // namespace

namespace {

// read --archive files the read into the program's record archive, found
// through the user's data and settings folders as the window finds it.
TEST(ReadArchive, FilesEveryRecordOnceAndTellsWhatWasNew) {
    TempDir dir;
    const std::vector<Record> memory = Memory();
    ScaleSimProcess sim(SimArgs(Carrier::Pty, WriteMemoryFile(dir.path(), memory)));
    ToolOptions options;
    options.environment = {"XDG_DATA_HOME=" + (dir.path() / "data").string(),
                           "XDG_CONFIG_HOME=" + (dir.path() / "config").string()};
    const std::string archive = (dir.path() / "data/VESK/Tarvo/archive.sqlite").string();
    const std::string count = std::to_string(memory.size());

    const ToolResult first = RunTool({"--port", sim.PtyPath(), "read", "--archive"}, options);
    ASSERT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(first.out, "archived " + count + " records in " + archive + ": " + count +
                             " new, 0 already held, 0 set aside\n");

    const fs::path out = dir.path() / "again.jsonl";
    const ToolResult again =
        RunTool({"--port", sim.PtyPath(), "read", "--archive", "--out", out.string()}, options);
    ASSERT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(again.out, "archived " + count + " records in " + archive + ": 0 new, " + count +
                             " already held, 0 set aside\n");
    EXPECT_EQ(LinesOf(ReadFile(out)).size(), memory.size() + 1);
}

TEST(ReadArchive, AnArchiveThatCannotBeOpenedFailsTheRead) {
    TempDir dir;
    ScaleSimProcess sim(SimArgs(Carrier::Pty, WriteMemoryFile(dir.path(), Memory())));
    { std::ofstream(dir.path() / "not-a-folder") << "x"; }
    ToolOptions options;
    options.environment = {"XDG_DATA_HOME=" + (dir.path() / "not-a-folder").string(),
                           "XDG_CONFIG_HOME=" + (dir.path() / "config").string()};
    const ToolResult run = RunTool({"--port", sim.PtyPath(), "read", "--archive"}, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.rfind("qelscale: the record archive could not be opened: ", 0), 0u)
        << run.err;
}

}  // namespace

namespace {

TEST(ReadOut, AMalformedRecordFailsTheReadNamingItsLine) {
    TempDir dir;
    std::vector<Record> memory = Memory();
    memory[1].line = "61;2024-05-06;12:01:07;161;U5;P1061;7.6;7.9;0.3;g;1;yes";
    ScaleSimProcess sim(SimArgs(Carrier::Pty, WriteMemoryFile(dir.path(), memory)));
    const ToolResult run = RunTool({"--port", sim.PtyPath(), "read"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err,
              "qelscale: record line 2 from the scale is malformed: " + memory[1].line + "\n");
}

}  // namespace
