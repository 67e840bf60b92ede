// The line listener, seen from the phase handlers it drives.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "PtyPair.h"
#include "core/CVESKDevice.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct HandledLine {
    std::string line;
    int32_t phase;
};

// A device whose handlers record what the listener gives them. A line
// "END\r\n" finishes the dialogue.
class RecordingDevice : public qel::CVESKDevice {
public:
    ~RecordingDevice() override { StopListener(); }

    using CVESKDevice::SendAndListen;

    bool HandleLine(const std::string& line, int32_t& remainingMs) override {
        std::lock_guard lock(mutex_);
        lines_.push_back({line, Phase()});
        changed_.notify_all();
        (void)remainingMs;
        return line == "END\r\n";
    }

    void HandleTimeout(int32_t& remainingMs) override {
        std::lock_guard lock(mutex_);
        timeouts_.push_back(remainingMs);
        timeoutAt_ = Clock::now();
        changed_.notify_all();
    }

    std::vector<HandledLine> WaitForLines(size_t count, std::chrono::milliseconds within = 3s) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, within, [&] { return lines_.size() >= count; });
        return lines_;
    }

    std::vector<int32_t> WaitForTimeouts(size_t count, std::chrono::milliseconds within = 3s) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, within, [&] { return timeouts_.size() >= count; });
        return timeouts_;
    }

    Clock::time_point TimeoutAt() {
        std::lock_guard lock(mutex_);
        return timeoutAt_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<HandledLine> lines_;
    std::vector<int32_t> timeouts_;
    Clock::time_point timeoutAt_;
};

class ListenerTest : public ::testing::Test {
protected:
    void SetUp() override {
        device.SetConnectionKind(0);
        ASSERT_TRUE(device.SetParameter("COM", pty.SlavePath().c_str()));
        ASSERT_TRUE(device.Connect());
    }

    qeltest::PtyPair pty;
    RecordingDevice device;
};

TEST_F(ListenerTest, BudgetIsRoundedUpToWholeCycles) {
    struct Case {
        int32_t timeoutMs;
        std::chrono::milliseconds atLeast;
    } cases[] = {{150, 190ms}, {100, 90ms}, {201, 290ms}};
    size_t seen = 0;
    for (const auto& c : cases) {
        auto start = Clock::now();
        ASSERT_TRUE(device.SendAndListen(99, "X\r\n", c.timeoutMs));
        auto timeouts = device.WaitForTimeouts(++seen);
        ASSERT_EQ(timeouts.size(), seen);
        // Whole cycles of 100 ms use the budget up exactly.
        EXPECT_EQ(timeouts.back(), 0) << c.timeoutMs;
        EXPECT_GE(device.TimeoutAt() - start, c.atLeast) << c.timeoutMs;
    }
}

TEST_F(ListenerTest, ALineSplitOverChunksIsHandledOnceComplete) {
    device.SendAndListen(99, "X\r\n", 2000);
    pty.Send("Seri");
    std::this_thread::sleep_for(150ms);
    pty.Send("al:12");
    std::this_thread::sleep_for(150ms);
    pty.Send("34\r\nrest");
    auto lines = device.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].line, "Serial:1234\r\n");
    pty.Send("\r\n");
    lines = device.WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].line, "rest\r\n");
}

TEST_F(ListenerTest, TwoLinesInOneChunkAreHandledInOrder) {
    device.SendAndListen(99, "X\r\n", 2000);
    pty.Send("first\r\nsecond\r\n");
    auto lines = device.WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].line, "first\r\n");
    EXPECT_EQ(lines[1].line, "second\r\n");
}

TEST_F(ListenerTest, LinesAfterTheEndOfADialogueAreDropped) {
    device.SendAndListen(99, "X\r\n", 300);
    pty.Send("END\r\nlate\r\n");
    device.WaitForLines(2, 600ms);
    auto lines = device.WaitForLines(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].line, "END\r\n");
}

TEST_F(ListenerTest, ADialogueInterruptsAnUnlimitedListenerAndResumesIt) {
    device.SendAndListen(50, "SI\r\n", 0);
    std::this_thread::sleep_for(150ms);
    device.SendAndListen(60, "SJ\r\n", 1000);
    // The line that ends the dialogue and the next one arrive together: the
    // next one belongs to the resumed phase.
    pty.Send("END\r\nweight\r\n");
    auto lines = device.WaitForLines(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].phase, 60);
    EXPECT_EQ(lines[1].line, "weight\r\n");
    EXPECT_EQ(lines[1].phase, 50);
    // Resumed without a limit: long silence does not end it.
    std::this_thread::sleep_for(1200ms);
    pty.Send("later\r\n");
    lines = device.WaitForLines(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].phase, 50);
    EXPECT_TRUE(device.WaitForTimeouts(1, 10ms).empty());
}

TEST_F(ListenerTest, StopListenerReturnsWithinAboutOneCycle) {
    device.SendAndListen(99, "X\r\n", 0);
    std::this_thread::sleep_for(120ms);
    auto start = Clock::now();
    EXPECT_TRUE(device.StopListener());
    EXPECT_LT(Clock::now() - start, 500ms);
    pty.Send("after stop\r\n");
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(device.WaitForLines(1, 10ms).empty());
    EXPECT_TRUE(device.StopListener()) << "no listener: still true";
}

TEST_F(ListenerTest, GarbageWithoutLineEndsNeitherHangsNorGrowsWithoutBound) {
    device.SendAndListen(99, "X\r\n", 0);
    std::string noise(10 * 1024, 'Z');
    for (int i = 0; i < 10; ++i) {
        pty.Send(noise);
    }
    pty.Send(std::string("\0\0\xff\xfe", 4));
    std::this_thread::sleep_for(300ms);
    auto start = Clock::now();
    EXPECT_TRUE(device.StopListener());
    EXPECT_LT(Clock::now() - start, 500ms);
}

}  // namespace
