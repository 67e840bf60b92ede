// The line-by-line firmware upload to the scale.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <stdexcept>

#include "ScaleOnPty.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;

class FirmwareUploadTest : public qeltest::ScaleOnPty {
protected:
    void TearDown() override {
        ScaleOnPty::TearDown();
        std::remove(path.c_str());
    }

    void WriteFirmware(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    bool Upload(bool withStartCommand) {
        return device->UpdateFirmware(path.c_str(), withStartCommand, false,
                                      CallbackRecorder::OnProgress, CallbackRecorder::OnStatus);
    }

    std::string path = "/tmp/qel-firmware-" + std::to_string(::getpid()) + "-" +
                       ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".hex";
};

TEST_F(FirmwareUploadTest, EveryLineIsAcknowledgedThenF3Completes) {
    WriteFirmware("\xEF\xBB\xBF:10AA\r\n:20BB\n:30CC\r\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "f1\r\n");
    Answer(":20BB\r\n", "F1\r\n");  // upper case counts too
    Answer(":30CC\r\n", "f1\r\n");
    std::this_thread::sleep_for(50ms);
    pty.Send("f3\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
    EXPECT_EQ(recorder.Progress(), (std::vector<double>{1.0 / 3, 2.0 / 3}));
    EXPECT_EQ(pty.SlaveBaud(), 9600) << "without the start command the speed stays";
}

TEST_F(FirmwareUploadTest, SilenceAfterTheLastLineAlsoCompletes) {
    WriteFirmware(":10AA\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "f1\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
    EXPECT_EQ(pty.ReceiveUntilQuiet(100), "") << "nothing more is sent";
}

TEST_F(FirmwareUploadTest, ARefusedLineIsSentAgain) {
    WriteFirmware(":10AA\n:20BB\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "f2\r\n");
    Answer(":10AA\r\n", "f1\r\n");
    Answer(":20BB\r\n", "f3\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
}

TEST_F(FirmwareUploadTest, ALineRefusedTwiceGivesStatus3) {
    WriteFirmware(":10AA\n:20BB\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "f2\r\n");
    Answer(":10AA\r\n", "f2\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{3}));
}

TEST_F(FirmwareUploadTest, ALineUnansweredTwiceGivesStatus4) {
    WriteFirmware(":10AA\n:20BB\n");
    ASSERT_TRUE(Upload(false));
    EXPECT_EQ(pty.ReceiveUntilQuiet(500, 3000), ":10AA\r\n:10AA\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{4}));
}

TEST_F(FirmwareUploadTest, AnUnexpectedReplyGivesStatus5) {
    WriteFirmware(":10AA\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "what?\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{5}));
}

TEST_F(FirmwareUploadTest, TheStartCommandSwitchesTo115200) {
    WriteFirmware(":10AA\n");
    ASSERT_TRUE(Upload(true));
    Answer("Sfirmwupd\r\n", "Mfirmwupd\r\n");
    std::string got = pty.ReceiveUntil(":10AA\r\n");
    EXPECT_EQ(got, ":10AA\r\n");
    EXPECT_EQ(pty.SlaveBaud(), 115200);
    pty.Send("f3\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
}

TEST_F(FirmwareUploadTest, AnUnansweredStartCommandIsRepeatedThenTheUploadGoesOn) {
    WriteFirmware(":10AA\n");
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Upload(true));
    EXPECT_EQ(pty.ReceiveUntil(":10AA\r\n", 6000), "Sfirmwupd\r\nSfirmwupd\r\n:10AA\r\n");
    // 1000 ms for the first answer, 1500 ms for the second.
    EXPECT_GE(std::chrono::steady_clock::now() - start, 2400ms);
    pty.Send("f3\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
}

// UTF-16 as a text editor writes it, with its byte-order mark.
std::string Utf16(const std::string& ascii, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : ascii) {
        bytes += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    }
    return bytes;
}

TEST_F(FirmwareUploadTest, UnicodeFilesAreDecodedAndNoZeroByteIsEverSent) {
    struct Case {
        const char* name;
        std::string bytes;
        bool started;
    } cases[] = {
        {"UTF-16 LE", Utf16(":10AA\r\n:20BB\r\n", false), true},
        {"UTF-16 BE", Utf16(":10AA\n:20BB\n", true), true},
        {"UTF-16 without a mark", Utf16(":10AA\r\n", false).substr(2), false},
        {"UTF-16 cut in a character", Utf16(":10AA\r\n", false) + ":", false},
        {"UTF-16 lone surrogate",
         Utf16(":10AA", false) + std::string("\x00\xD8", 2) + Utf16("\r\n", false).substr(2),
         false},
        {"zero byte in UTF-8", std::string(":10AA\r\n:2\0BB\r\n", 14), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        recorder.Clear();
        WriteFirmware(c.bytes);
        EXPECT_EQ(Upload(false), c.started);
        if (c.started) {
            Answer(":10AA\r\n", "f1\r\n");
            Answer(":20BB\r\n", "f3\r\n");
            EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
        } else {
            EXPECT_EQ(pty.ReceiveUntilQuiet(150), "") << "nothing starts";
        }
    }
}

// The second upload stops the first before it takes over its lines, its
// line index and its callbacks (which the first one's listener uses).
TEST_F(FirmwareUploadTest, ASecondUploadStopsTheFirstBeforeTakingOver) {
    WriteFirmware(":10AA\n:20BB\n:30CC\n");
    ASSERT_TRUE(Upload(false));
    Answer(":10AA\r\n", "f1\r\n");
    // Waits on the line, not on a callback, so that nothing orders the
    // first upload's work before the second call but the call itself.
    ASSERT_EQ(pty.ReceiveUntil(":20BB\r\n"), ":20BB\r\n");
    WriteFirmware(":99FF\n");
    ASSERT_TRUE(Upload(false));
    Answer(":99FF\r\n", "f1\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(1, 3s), (std::vector<int32_t>{2}));
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.Statuses(), (std::vector<int32_t>{2})) << "the first upload says nothing";
    EXPECT_EQ(recorder.Progress(), (std::vector<double>{1.0 / 3})) << "from the first upload only";
}

TEST_F(FirmwareUploadTest, EmptyAndMissingFiles) {
    WriteFirmware("");
    EXPECT_FALSE(Upload(false));
    EXPECT_EQ(pty.ReceiveUntilQuiet(150), "") << "nothing starts";
    std::remove(path.c_str());
    EXPECT_THROW(Upload(false), std::runtime_error);
}

}  // namespace
