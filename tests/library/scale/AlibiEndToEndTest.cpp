// Whole alibi reads through the public interface against the scale simulator
// on a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
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
    }

    void StartSim(std::vector<std::string> args) {
        sim = std::make_unique<ScaleSimProcess>(std::move(args));
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
};

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

}  // namespace
