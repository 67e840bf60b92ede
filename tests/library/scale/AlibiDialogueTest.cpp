// The alibi memory read, with the test playing the scale byte for byte.
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <vector>

#include "ScaleOnPty.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;
using Clock = std::chrono::steady_clock;

const char* const kHeader = "REC_ID;DATE;TIME;NUM;USER_ID;PROD_ID;NET;GROSS;TARE;UNIT;DEC;STB\r\n";

struct Transfer {
    std::vector<std::string> records;  // without CR LF
    std::string count;                 // empty: the number of records
    std::string endLine = "Malibiprn\r\n";
    std::string type = "Type: WPT/4";
};

class AlibiDialogueTest : public qeltest::ScaleOnPty {
protected:
    bool Start() {
        return scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus);
    }

    // The scale's side of a whole transfer.
    void PlayTransfer(const Transfer& t) {
        Answer("Salibitrn\r\n", "Salibitrn OK\r\n");
        std::string got = pty.ReceiveUntil("Salibiprn\r\n");
        ASSERT_NE(got.find("Salibiprn\r\n"), std::string::npos);
        transferBaud = pty.SlaveBaud();
        std::string count = t.count.empty() ? std::to_string(t.records.size()) : t.count;
        pty.Send(t.type + "\r\nSerial: 123456\r\nDate:2019-03-01\r\nRecords: " + count + "\r\n" +
                 kHeader);
        for (const auto& record : t.records) {
            Answer("Salibinext\r\n", record + "\r\n");
        }
        Answer("Salibinext\r\n", t.endLine);
    }

    void ReadWhole(const Transfer& t) {
        recorder.Clear();
        ASSERT_TRUE(Start());
        PlayTransfer(t);
        auto statuses = recorder.WaitForStatuses(2, 5s);
        ASSERT_EQ(statuses, (std::vector<int32_t>{0, 1}));
    }

    int transferBaud = 0;
};

// Starts a read whose identity announces `count` records, up to the first "Salibinext".
void OpenTransfer(qeltest::PtyPair& pty, size_t count) {
    pty.ReceiveUntil("Salibitrn\r\n");
    pty.Send("OK\r\n");
    pty.ReceiveUntil("Salibiprn\r\n");
    pty.Send("Type:T\r\nSerial:1\r\nDate:D\r\nRecords:" + std::to_string(count) + "\r\n" + kHeader);
}

std::string RecordLine(const std::string& number) {
    return number + ";2019-03-01;12:00:00;1;U1;P1;1.5;2.0;0.5;kg;3;1\r\n";
}

// The scale's side of the records the library asks for: each request is exactly one
// "Salibinext", answered with the next record.
void PlayUntilTheEnd(qeltest::PtyPair& pty, const std::vector<std::string>& records,
                     size_t stored) {
    for (size_t i = 0; i < stored; ++i) {
        std::string got = pty.ReceiveUntil("Salibinext\r\n");
        ASSERT_EQ(got, "Salibinext\r\n") << "request for record " << i + 1;
        pty.Send(records[i]);
    }
}

TEST_F(AlibiDialogueTest, AFullReadStoresEveryRecordAndRestoresTheLine) {
    Transfer t;
    t.records = {"3;2019-03-01;12:00:03;1;U1;P1;1.5;2.0;0.5;kg;3;1",
                 "2;2019-03-01;12:00:02;1;U1;P1;1.5;2.0;0.5;kg;3;1",
                 "1;2019-03-01;12:00:01;1;U1;P1;1.5;2.0;0.5;kg;3;0"};
    ReadWhole(t);
    EXPECT_EQ(transferBaud, 115200);
    EXPECT_EQ(pty.SlaveBaud(), 9600) << "line settings restored";
    EXPECT_STREQ(device->GetParameter("parity"), "N");
    EXPECT_EQ(recorder.Progress(), (std::vector<double>{0.0, 1.0 / 3, 2.0 / 3}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 3);
    DeviceInfo info = scale->GetDeviceInfo();
    EXPECT_STREQ(info.type, " WPT/4") << "the blank after the colon stays";
    EXPECT_EQ(info.serialNumber, 123456);
    EXPECT_STREQ(info.productionDate, "2019-03-01");
    EXPECT_STREQ(info.recordHeader, kHeader);
    EXPECT_EQ(scale->GetAlibiRecord(1).recordId, 3);
    EXPECT_EQ(scale->GetAlibiRecord(3).recordId, 1);
    EXPECT_FALSE(scale->GetAlibiRecord(3).stable);
    EXPECT_THROW(scale->GetAlibiRecord(0), std::out_of_range);
    EXPECT_THROW(scale->GetAlibiRecord(4), std::out_of_range);
}

TEST_F(AlibiDialogueTest, RecordFieldsFollowTheRecordTable) {
    Transfer t;
    t.records = {
        "7;2019-03-01;12:00:01;3;U1;P2;1.5;2.0;0.5;kg;3;1",
        "8;2019-03-02;1",              // three fields: the tail is the last field
        "9;d;t;x;u;p;heavy;;;;;0",     // masses that are not numbers read as 0
        "10;d;t;1;u;p;1;1;1;g;2;yes",  // last field not an integer
        "11;d;t;-4;u;p;-0.25;1e3;0;N;-1; 1 ",
    };
    ReadWhole(t);
    AlibiRecord r = scale->GetAlibiRecord(1);
    EXPECT_EQ(r.recordId, 7);
    EXPECT_STREQ(r.date, "2019-03-01");
    EXPECT_STREQ(r.time, "12:00:01");
    EXPECT_EQ(r.number, 3);
    EXPECT_STREQ(r.userId, "U1");
    EXPECT_STREQ(r.productId, "P2");
    EXPECT_FLOAT_EQ(r.net, 1.5f);
    EXPECT_FLOAT_EQ(r.gross, 2.0f);
    EXPECT_FLOAT_EQ(r.tare, 0.5f);
    EXPECT_EQ(r.unit, 4);
    EXPECT_EQ(r.decimals, 3);
    EXPECT_TRUE(r.stable);

    r = scale->GetAlibiRecord(2);
    EXPECT_EQ(r.recordId, 8);
    EXPECT_STREQ(r.date, "2019-03-02");
    EXPECT_STREQ(r.time, "");
    EXPECT_EQ(r.number, 0);
    EXPECT_EQ(r.unit, 0);
    EXPECT_EQ(r.decimals, 0);
    EXPECT_TRUE(r.stable);

    r = scale->GetAlibiRecord(3);
    EXPECT_EQ(r.net, 0.0f);
    EXPECT_EQ(r.gross, 0.0f);
    EXPECT_FALSE(r.stable);

    EXPECT_THROW(scale->GetAlibiRecord(4), std::invalid_argument);

    r = scale->GetAlibiRecord(5);
    EXPECT_EQ(r.number, -4);
    EXPECT_FLOAT_EQ(r.net, -0.25f);
    EXPECT_FLOAT_EQ(r.gross, 1000.0f);
    EXPECT_EQ(r.unit, 14);
    EXPECT_EQ(r.decimals, -1);
    EXPECT_TRUE(r.stable);
}

TEST_F(AlibiDialogueTest, UnitSymbolsBecomeTheirCodes) {
    const std::vector<std::pair<std::string, int32_t>> units = {
        {"ct", 1},  {"mg", 2}, {"g", 3},   {"kg", 4}, {"lb", 5}, {"oz", 6},
        {"ozt", 7}, {"gr", 8}, {"dwt", 9}, {"N", 14}, {"KG", 4}, {"", 0},
    };
    Transfer t;
    for (size_t i = 0; i < units.size(); ++i) {
        t.records.push_back(std::to_string(units.size() - i) + ";d;t;1;u;p;1;1;0;" +
                            units[i].first + ";0;1");
    }
    ReadWhole(t);
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(scale->GetAlibiRecord(static_cast<int64_t>(i) + 1).unit, units[i].second)
            << units[i].first;
    }
}

TEST_F(AlibiDialogueTest, RecordTextsAreOverwrittenByTheNextCall) {
    Transfer t;
    t.records = {"2;A;B;1;C;D;1;1;0;kg;0;1", "1;E;F;1;G;H;1;1;0;kg;0;1"};
    ReadWhole(t);
    AlibiRecord first = scale->GetAlibiRecord(1);
    std::string kept = first.date;
    scale->GetAlibiRecord(2);
    EXPECT_EQ(kept, "A");
    EXPECT_STREQ(first.date, "E") << "the slots are shared";
}

TEST_F(AlibiDialogueTest, ASecondReadReplacesTheFirst) {
    Transfer first;
    first.records = {"3;a;t;1;u;p;1;1;0;kg;0;1", "2;a;t;1;u;p;1;1;0;kg;0;1",
                     "1;a;t;1;u;p;1;1;0;kg;0;1"};
    ReadWhole(first);
    Transfer second;
    second.records = {"2;b;t;1;u;p;1;1;0;kg;0;1", "1;b;t;1;u;p;1;1;0;kg;0;1"};
    ReadWhole(second);
    EXPECT_EQ(scale->GetAlibiRecordCount(), 2);
    EXPECT_STREQ(scale->GetAlibiRecord(2).date, "b");
    EXPECT_THROW(scale->GetAlibiRecord(3), std::out_of_range);
}

TEST_F(AlibiDialogueTest, EndLineInLowerCaseEndsTheRead) {
    Transfer t;
    t.records = {"1;a;t;1;u;p;1;1;0;kg;0;1"};
    t.endLine = "malibiprn\r\n";
    ReadWhole(t);
    EXPECT_EQ(scale->GetAlibiRecordCount(), 1);
}

TEST_F(AlibiDialogueTest, NoAnswerToTheAnnouncementSwitchesAfterTwoSilences) {
    auto start = Clock::now();
    ASSERT_TRUE(Start());
    std::string seen = pty.ReceiveUntil("Salibiprn\r\n", 3000);
    auto switched = Clock::now() - start;
    EXPECT_EQ(seen, "Salibitrn\r\nSalibitrn\r\nSalibiprn\r\n");
    EXPECT_GE(switched, 390ms);
    EXPECT_LT(switched, 2s);
    EXPECT_EQ(pty.SlaveBaud(), 115200);
    device->StopListener();  // the listener's own queries must be over first
    // A pseudo-terminal keeps no parity: the parameter tells what the line runs.
    EXPECT_STREQ(device->GetParameter("parity"), "N");
}

TEST_F(AlibiDialogueTest, NoAnswerToTheTransferRequestGivesStatus2) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    auto statuses = recorder.WaitForStatuses(1, 3s);
    EXPECT_EQ(statuses, (std::vector<int32_t>{2}));
    EXPECT_EQ(pty.SlaveBaud(), 115200) << "not switched back";
}

TEST_F(AlibiDialogueTest, AMalformedCountEndsTheReadWithoutStatus) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:3a\r\n");
    pty.Send(kHeader);
    EXPECT_EQ(pty.ReceiveUntilQuiet(400), "") << "no Salibinext after a bad count";
    EXPECT_TRUE(recorder.Statuses().empty());
}

TEST_F(AlibiDialogueTest, CountWithBlanksAndLinesWithoutColon) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "WPT-NO-COLON\r\nSerial:x\r\nDate:D\r\nRecords:  3  \r\n");
    pty.Send(kHeader);
    auto statuses = recorder.WaitForStatuses(1, 3s);
    ASSERT_EQ(statuses, (std::vector<int32_t>{0}));
    EXPECT_EQ(scale->GetAlibiRecordCount(), 3);
    DeviceInfo info = scale->GetDeviceInfo();
    EXPECT_STREQ(info.type, "WPT-NO-COLON");
    EXPECT_EQ(info.serialNumber, -1);
}

TEST_F(AlibiDialogueTest, SilenceDuringRecordsRetriesOnceThenEnds) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:2\r\n");
    pty.Send(kHeader);
    std::string sent = pty.ReceiveUntilQuiet(600, 3000);
    EXPECT_EQ(sent, "Salibinext\r\nSalibinext\r\nSalibinext\r\n");
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{0}));
    pty.Send("1;a;t;1;u;p;1;1;0;kg;0;1\r\n");
    EXPECT_EQ(pty.ReceiveUntilQuiet(300), "") << "the listener has ended";
}

TEST_F(AlibiDialogueTest, GarbageFromTheScaleNeverHangsTheReader) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:2\r\n");
    pty.Send(kHeader);
    pty.ReceiveUntil("Salibinext\r\n");
    pty.Send(std::string("\0\0\xff", 3) + std::string(10000, 'Q'));  // no line end
    std::this_thread::sleep_for(300ms);
    auto start = Clock::now();
    EXPECT_TRUE(device->StopListener());
    EXPECT_LT(Clock::now() - start, 500ms);
}

TEST_F(AlibiDialogueTest, ARecordNumberThatIsNotANumberEndsTheRead) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:2\r\n");
    pty.Send(kHeader);
    Answer("Salibinext\r\n", "#garbage#\r\n");
    EXPECT_EQ(pty.ReceiveUntilQuiet(400), "");
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{0}));
}

TEST_F(AlibiDialogueTest, TheLineDroppedMidReadNeitherCrashesNorHangs) {
    ASSERT_TRUE(Start());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:5\r\n");
    pty.Send(kHeader);
    Answer("Salibinext\r\n", "5;a;t;1;u;p;1;1;0;kg;0;1\r\n");
    pty.ReceiveUntil("Salibinext\r\n");
    pty.CloseMaster();
    std::this_thread::sleep_for(700ms);
    auto start = Clock::now();
    EXPECT_TRUE(device->StopListener());
    EXPECT_TRUE(device->Disconnect());
    EXPECT_LT(Clock::now() - start, 1s);
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{0}));
}

}  // namespace

TEST_F(AlibiDialogueTest, EndsTheReadAfterTheAskedRecord) {
    const std::vector<std::string> numbered = {RecordLine("10"), RecordLine("9"), RecordLine("8"),
                                               RecordLine("7"), RecordLine("6")};
    const std::vector<std::string> gapped = {RecordLine("10"), RecordLine("9"), RecordLine("7"),
                                             RecordLine("6")};
    // Record numbers that are no finite numbers never end the read.
    const std::vector<std::string> oddNumbers = {
        RecordLine("10"), RecordLine("-inf"), RecordLine("nan"), RecordLine(" 9"), RecordLine("8")};
    const struct {
        const char* name;
        const std::vector<std::string>& records;
        int64_t endAfter;
        size_t stored;  // records asked for and stored; all of them: read to the end line
    } cases[] = {
        {"at the third record", numbered, 8, 3},      {"at the first record", numbered, 12, 1},
        {"below a gap in the numbers", gapped, 8, 3}, {"odd numbers pass", oddNumbers, 9, 4},
        {"0 reads everything", numbered, 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.Clear();
        recorder.EndReadAfterHeader(scale.get(), c.endAfter);
        ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress,
                                          CallbackRecorder::OnStatusEndingEarly));
        OpenTransfer(pty, c.records.size());
        PlayUntilTheEnd(pty, c.records, c.stored);
        if (c.stored == c.records.size()) {
            Answer("Salibinext\r\n", "Malibiprn\r\n");
        }
        ASSERT_EQ(recorder.WaitForStatuses(2, 3s), (std::vector<int32_t>{0, 1}));
        EXPECT_EQ(pty.ReceiveUntilQuiet(100), "") << "nothing after the last record";
        EXPECT_EQ(pty.SlaveBaud(), 9600) << "line settings restored";
        EXPECT_STREQ(device->GetParameter("parity"), "N");
        EXPECT_EQ(scale->GetAlibiRecordCount(), static_cast<int64_t>(c.records.size()));
        ASSERT_EQ(scale->GetAlibiLineCount(), static_cast<int64_t>(c.stored));
        for (size_t i = 0; i < c.stored; ++i) {
            EXPECT_STREQ(scale->GetAlibiRecordLine(static_cast<int64_t>(i) + 1),
                         c.records[i].c_str());
        }
        EXPECT_EQ(recorder.Progress().size(), c.stored);
    }
}

TEST_F(AlibiDialogueTest, TheEndCanBeSetFromTheCallersThreadDuringTheRead) {
    ASSERT_TRUE(Start());
    OpenTransfer(pty, 4);
    ASSERT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{0}));
    EXPECT_FALSE(scale->EndAlibiReadAfter(-1)) << "no record number is negative";
    EXPECT_TRUE(scale->EndAlibiReadAfter(3));
    const std::vector<std::string> records = {RecordLine("4"), RecordLine("3"), RecordLine("2")};
    PlayUntilTheEnd(pty, records, 2);
    ASSERT_EQ(recorder.WaitForStatuses(2, 3s), (std::vector<int32_t>{0, 1}));
    EXPECT_EQ(pty.ReceiveUntilQuiet(100), "");
    EXPECT_EQ(scale->GetAlibiLineCount(), 2);

    // Every read starts without an end of its own.
    Transfer whole;
    whole.records = {"2;a;t;1;u;p;1;1;0;kg;0;1", "1;a;t;1;u;p;1;1;0;kg;0;1"};
    ReadWhole(whole);
    EXPECT_EQ(scale->GetAlibiLineCount(), 2);
    EXPECT_STREQ(scale->GetAlibiRecordLine(2), "1;a;t;1;u;p;1;1;0;kg;0;1\r\n");
}

TEST_F(AlibiDialogueTest, TheLineCountIsWhatTheScaleSentNotWhatItAnnounced) {
    EXPECT_EQ(scale->GetAlibiLineCount(), 0);
    EXPECT_EQ(scale->GetAlibiRecordLine(1), nullptr);
    const struct {
        const char* announced;
        std::vector<std::string> records;
    } cases[] = {
        {"5", {"3;a;t;1;u;p;1;1;0;kg;0;1", "2;a;t;1;u;p;1;1;0;kg;0;1  ", "1;a"}},
        {"2", {"4;b;t;1;u;p;1;1;0;kg;0;1", "3;b", "2;b", "1;b;t;1;u;p;1;1;0;kg;0;1"}},
        {"0", {"1;c;t;1;u;p;1;1;0;kg;0;1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.announced);
        Transfer t;
        t.records = c.records;
        t.count = c.announced;
        ReadWhole(t);
        EXPECT_EQ(scale->GetAlibiRecordCount(), std::stoll(c.announced));
        const auto lines = static_cast<int64_t>(c.records.size());
        ASSERT_EQ(scale->GetAlibiLineCount(), lines);
        for (int64_t i = 1; i <= lines; ++i) {
            EXPECT_EQ(std::string(scale->GetAlibiRecordLine(i)),
                      c.records[static_cast<size_t>(i - 1)] + "\r\n")
                << "exactly as sent";
        }
        EXPECT_EQ(scale->GetAlibiRecordLine(0), nullptr);
        EXPECT_EQ(scale->GetAlibiRecordLine(lines + 1), nullptr);
        EXPECT_EQ(scale->GetAlibiRecordLine(-1), nullptr);
    }
}
