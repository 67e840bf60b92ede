// Whole alibi reads through the public interface against the scale simulator
// on a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "CallbackRecorder.h"
#include "ScaleHandle.h"
#include "ScaleSimProcess.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;

struct ExpectedRecord {
    int64_t id;
    std::string date, time;
    int32_t number;
    std::string user, product;
    float net, gross, tare;
    std::string unit;
    int16_t decimals;
    bool stable;
};

std::string Line(const ExpectedRecord& r) {
    char masses[96];
    std::snprintf(masses, sizeof masses, "%.3f;%.3f;%.3f", r.net, r.gross, r.tare);
    return std::to_string(r.id) + ";" + r.date + ";" + r.time + ";" + std::to_string(r.number) +
           ";" + r.user + ";" + r.product + ";" + masses + ";" + r.unit + ";" +
           std::to_string(r.decimals) + ";" + (r.stable ? "1" : "0");
}

class AlibiEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { recorder.Clear(); }
    void TearDown() override {
        device->StopListener();
        device->Disconnect();
        if (!recordsFile.empty()) {
            std::remove(recordsFile.c_str());
        }
        if (!traceFile.empty()) {
            std::remove(traceFile.c_str());
        }
    }

    // Everything the scale has received so far, from its trace.
    std::string ReceivedByTheScale() const {
        std::ifstream trace(traceFile);
        const std::string received = "scale-sim pty < ";
        std::string text, line;
        while (std::getline(trace, line)) {
            if (line.rfind(received, 0) != 0) {
                continue;
            }
            for (size_t i = received.size(); i < line.size(); ++i) {
                if (line[i] == '\\' && i + 1 < line.size() &&
                    (line[i + 1] == 'r' || line[i + 1] == 'n')) {
                    text += line[++i] == 'r' ? '\r' : '\n';
                } else {
                    text += line[i];
                }
            }
        }
        return text;
    }

    // `traced`: every byte the scale receives is kept (ReceivedByTheScale).
    void StartSim(std::vector<std::string> args, bool traced = false) {
        if (traced) {
            traceFile = ::testing::TempDir() + "qel-sim-trace-" + std::to_string(::getpid());
            args.push_back("--trace");
        }
        sim = std::make_unique<ScaleSimProcess>(ScaleSimProcess::DefaultPath(), std::move(args),
                                                traceFile);
        device->SetConnectionKind(0);
        ASSERT_TRUE(device->SetParameter("COM", sim->PtyPath().c_str()));
        ASSERT_TRUE(device->SetParameter("baud", "9600"));
        ASSERT_TRUE(device->Connect());
    }

    std::vector<int32_t> Read(size_t statuses, std::chrono::milliseconds within = 20s) {
        recorder.Clear();
        EXPECT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        return recorder.WaitForStatuses(statuses, within);
    }

    std::vector<ExpectedRecord> WriteRecordsFile(int count) {
        static const char* const kUnits[] = {"kg", "g", "lb", "ct", "N"};
        std::vector<ExpectedRecord> records;
        recordsFile = "/tmp/qel-records-" + std::to_string(::getpid()) + ".txt";
        std::ofstream file(recordsFile);
        for (int i = count; i >= 1; --i) {
            ExpectedRecord r{i,
                             "2024-05-" + std::to_string(10 + i % 20),
                             "08:" + std::to_string(10 + i % 50) + ":00",
                             i * 3,
                             "U" + std::to_string(i % 7),
                             "Product " + std::to_string(i % 13),
                             i * 0.25f,
                             i * 0.25f + 1.5f,
                             1.5f,
                             kUnits[i % 5],
                             static_cast<int16_t>(i % 4),
                             i % 9 != 0};
            file << Line(r) << "\n";
            records.push_back(r);
        }
        return records;
    }

    CallbackRecorder& recorder = CallbackRecorder::Instance();
    qeltest::ScaleHandle scale = qeltest::NewScale();
    CVESKDeviceInterface* device = qeltest::DeviceOf(scale);
    std::unique_ptr<ScaleSimProcess> sim;
    std::string recordsFile;
    std::string traceFile;
};

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

int32_t UnitCodeOf(const std::string& unit) {
    if (unit == "kg")
        return 4;
    if (unit == "g")
        return 3;
    if (unit == "lb")
        return 5;
    if (unit == "ct")
        return 1;
    if (unit == "N")
        return 14;
    return 0;
}

TEST_F(AlibiEndToEndTest, AFullReadParsesEveryRecord) {
    const auto expected = WriteRecordsFile(400);
    StartSim({"--pty", "--records-file", recordsFile, "--type", "WPT/4 C2", "--serial", "4711"});
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));

    DeviceInfo info = scale->GetDeviceInfo();
    EXPECT_STREQ(info.type, "WPT/4 C2");
    EXPECT_EQ(info.serialNumber, 4711);
    ASSERT_EQ(scale->GetAlibiRecordCount(), 400);
    for (size_t i = 0; i < expected.size(); ++i) {
        const ExpectedRecord& want = expected[i];
        AlibiRecord got = scale->GetAlibiRecord(static_cast<int64_t>(i) + 1);
        ASSERT_EQ(got.recordId, want.id);
        EXPECT_EQ(got.date, want.date);
        EXPECT_EQ(got.time, want.time);
        EXPECT_EQ(got.number, want.number);
        EXPECT_EQ(got.userId, want.user);
        EXPECT_EQ(got.productId, want.product);
        EXPECT_FLOAT_EQ(got.net, want.net);
        EXPECT_FLOAT_EQ(got.gross, want.gross);
        EXPECT_FLOAT_EQ(got.tare, want.tare);
        EXPECT_EQ(got.unit, UnitCodeOf(want.unit));
        EXPECT_EQ(got.decimals, want.decimals);
        EXPECT_EQ(got.stable, want.stable);
    }
    std::vector<double> progress = recorder.Progress();
    ASSERT_EQ(progress.size(), 400u);
    EXPECT_EQ(progress.front(), 0.0);
    EXPECT_DOUBLE_EQ(progress.back(), 399.0 / 400);
    // Restored to 9600 baud: the scale understands ordinary commands again.
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
    EXPECT_STREQ(device->GetParameter("parity"), "N");
    EXPECT_TRUE(scale->SendST(500));
}

TEST_F(AlibiEndToEndTest, ASecondReadOnTheSameObject) {
    StartSim({"--pty", "--records", "50", "--seed", "7"});
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    AlibiRecord first = scale->GetAlibiRecord(1);
    const int64_t firstId = first.recordId;
    const std::string firstDate = first.date;  // the record's texts are the library's
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 50);
    EXPECT_EQ(scale->GetAlibiRecord(1).recordId, firstId);
    EXPECT_EQ(std::string(scale->GetAlibiRecord(1).date), firstDate);
    EXPECT_THROW(scale->GetAlibiRecord(51), std::out_of_range);
}

TEST_F(AlibiEndToEndTest, FaultsOfTheScale) {
    struct Case {
        std::vector<std::string> faults;
        std::vector<int32_t> statuses;
        int64_t storedLines;
    } cases[] = {
        {{"--silent-at", "salibitrn"}, {0, 1}, 20},  // two silences, then on
        {{"--silent-at", "salibiprn"}, {2}, 0},
        {{"--silent-at", "record:3"}, {0}, 2},  // one retry, then the listener ends
        {{"--silent-at", "record:3", "--fault-once"}, {0, 1}, 20},  // the retry is answered
        {{"--malformed-count"}, {}, 0},
        {{"--end-lowercase"}, {0, 1}, 20},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"--pty", "--records", "20"};
        args.insert(args.end(), c.faults.begin(), c.faults.end());
        StartSim(args);
        recorder.Clear();
        ASSERT_TRUE(
            scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        // Every faulty dialogue ends within a few budgets of 200 ms.
        std::this_thread::sleep_for(c.statuses.size() == 2 ? 0ms : 1500ms);
        auto statuses = recorder.WaitForStatuses(c.statuses.size(), 10s);
        EXPECT_EQ(statuses, c.statuses) << c.faults[0];
        device->StopListener();  // records are read once the dialogue is over
        if (statuses.size() == 2) {
            EXPECT_EQ(scale->GetAlibiRecordCount(), c.storedLines);
        }
        int64_t stored = 0;
        while (stored < 100) {
            try {
                scale->GetAlibiRecord(stored + 1);
                ++stored;
            } catch (const std::out_of_range&) {
                break;
            }
        }
        EXPECT_EQ(stored, c.storedLines) << c.faults[0];
        device->StopListener();
        device->Disconnect();
        sim.reset();
    }
}

TEST_F(AlibiEndToEndTest, ShortRecordLines) {
    StartSim({"--pty", "--records", "5", "--short-records"});
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    AlibiRecord r = scale->GetAlibiRecord(1);
    EXPECT_EQ(r.recordId, 5);
    EXPECT_STRNE(r.date, "");
    EXPECT_STREQ(r.time, "");
    EXPECT_EQ(r.unit, 0);
}

TEST_F(AlibiEndToEndTest, TheScaleHangsUpMidRead) {
    StartSim({"--pty", "--records", "30", "--drop-after", "10"});
    recorder.Clear();
    ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
    std::this_thread::sleep_for(1500ms);
    auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(device->StopListener());
    EXPECT_TRUE(device->Disconnect());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{0}));
}

TEST_F(AlibiEndToEndTest, RepliesInSmallChunksAndAtTheLineRate) {
    StartSim({"--pty", "--records", "40", "--chunk", "3", "--pace"});
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 40);
    EXPECT_EQ(scale->GetAlibiRecord(40).recordId, 1);
}

// ---- reads that end early, and the reads after them ----

class AlibiEarlyEndTest : public AlibiEndToEndTest {
protected:
    // Reads with EndAlibiReadAfter(recordId) set in the status-0 callback.
    std::vector<int32_t> ReadEndingAfter(int64_t recordId) {
        recorder.Clear();
        recorder.EndReadAfterHeader(scale.get(), recordId);
        EXPECT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress,
                                          CallbackRecorder::OnStatusEndingEarly));
        return recorder.WaitForStatuses(2, 20s);
    }

    std::vector<std::string> StoredLines() {
        std::vector<std::string> lines;
        for (int64_t i = 1; i <= scale->GetAlibiLineCount(); ++i) {
            lines.push_back(scale->GetAlibiRecordLine(i));
        }
        return lines;
    }

    // The lines of the records file as the scale sends them.
    std::vector<std::string> SentLines(const std::vector<ExpectedRecord>& records, size_t count) {
        std::vector<std::string> lines;
        for (size_t i = 0; i < count && i < records.size(); ++i) {
            lines.push_back(Line(records[i]) + "\r\n");
        }
        return lines;
    }
};

TEST_F(AlibiEarlyEndTest, EndsAfterTheAskedRecord) {
    const auto records = WriteRecordsFile(30);
    StartSim({"--pty", "--records-file", recordsFile}, true);
    ASSERT_EQ(ReadEndingAfter(26), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(Occurrences(ReceivedByTheScale(), "Salibinext\r\n"), 5u) << "records 30 to 26";
    EXPECT_STREQ(device->GetParameter("baud"), "9600");
    EXPECT_STREQ(device->GetParameter("parity"), "N");
    EXPECT_EQ(scale->GetAlibiRecordCount(), 30);
    EXPECT_EQ(scale->GetAlibiLineCount(), 5);
    EXPECT_EQ(StoredLines(), SentLines(records, 5));
    EXPECT_EQ(scale->GetAlibiRecord(5).recordId, 26);
}

TEST_F(AlibiEarlyEndTest, TheNextReadGetsTheWholeMemory) {
    const auto records = WriteRecordsFile(30);
    StartSim({"--pty", "--records-file", recordsFile}, true);
    ASSERT_EQ(ReadEndingAfter(29), (std::vector<int32_t>{0, 1}));
    const size_t before = ReceivedByTheScale().size();

    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    const std::string second = ReceivedByTheScale().substr(before);
    // The scale still listens at the transfer settings: two silences, then the listing.
    EXPECT_EQ(second.rfind("Salibitrn\r\nSalibitrn\r\nSalibiprn\r\n", 0), 0u) << second;
    EXPECT_EQ(Occurrences(second, "Salibinext\r\n"), 31u);
    EXPECT_EQ(scale->GetAlibiLineCount(), 30);
    EXPECT_EQ(StoredLines(), SentLines(records, 30));
    // The whole listing brought the scale back to its own settings.
    EXPECT_TRUE(scale->SendST(500));
}

TEST_F(AlibiEarlyEndTest, AReadStoppedHalfWayIsFollowedByAWholeOne) {
    const auto records = WriteRecordsFile(200);
    StartSim({"--pty", "--records-file", recordsFile, "--pace"});
    recorder.Clear();
    ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
    ASSERT_GE(recorder.WaitForProgress(5, 10s).size(), 5u);
    // What the program's stop button does.
    EXPECT_TRUE(device->StopListener());
    EXPECT_TRUE(device->Disconnect());
    const int64_t stopped = scale->GetAlibiLineCount();
    EXPECT_GE(stopped, 5);
    EXPECT_LT(stopped, 200) << "stopped half-way";
    EXPECT_EQ(StoredLines(), SentLines(records, static_cast<size_t>(stopped)));

    // Stopped before its end line, the read left the transfer settings in place; the
    // program's next read sets its own again (a pseudo-terminal refuses parity E).
    ASSERT_TRUE(device->SetParameter("baud", "9600"));
    ASSERT_TRUE(device->SetParameter("parity", "N"));
    ASSERT_TRUE(device->Connect());
    ASSERT_EQ(Read(2, 30s), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 200);
    EXPECT_EQ(StoredLines(), SentLines(records, 200));
}

TEST_F(AlibiEarlyEndTest, ARepeatReadFetchesOnlyTheNewRecordsAndTheOneItChecks) {
    StartSim({"--pty", "--records", "40", "--seed", "2", "--grow", "3"}, true);
    ASSERT_EQ(Read(2), (std::vector<int32_t>{0, 1}));
    const std::vector<std::string> first = StoredLines();
    ASSERT_EQ(first.size(), 40u);

    ASSERT_TRUE(sim->SignalAndWait(SIGUSR1, "records 43"));
    const size_t before = ReceivedByTheScale().size();
    ASSERT_EQ(ReadEndingAfter(40), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(Occurrences(ReceivedByTheScale().substr(before), "Salibinext\r\n"), 4u);
    EXPECT_EQ(scale->GetAlibiRecordCount(), 43);
    const std::vector<std::string> repeat = StoredLines();
    ASSERT_EQ(repeat.size(), 4u);
    EXPECT_EQ(scale->GetAlibiRecord(1).recordId, 43);
    EXPECT_EQ(scale->GetAlibiRecord(3).recordId, 41);
    EXPECT_EQ(repeat[3], first[0]) << "the newest record of the first read, byte for byte";
}

}  // namespace
