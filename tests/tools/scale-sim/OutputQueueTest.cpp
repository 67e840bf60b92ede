#include "OutputQueue.h"

#include <gtest/gtest.h>

using namespace scalesim;
using namespace std::chrono_literals;

namespace {

struct Capture {
    std::vector<std::string> writes;
    OutputQueue::Writer Writer() {
        return [this](const char* data, std::size_t size) {
            writes.emplace_back(data, size);
            return static_cast<long>(size);
        };
    }
};

}  // namespace

TEST(OutputQueue, WritesADueReplyInOneWrite) {
    OutputQueue queue(DeliverySettings{});
    const auto now = Clock::now();
    queue.Push({{"MT\r\n"}}, now, 0ns);
    Capture capture;
    EXPECT_EQ(queue.Flush(now, capture.Writer()), OutputQueue::State::Idle);
    EXPECT_EQ(capture.writes, std::vector<std::string>{"MT\r\n"});
}

TEST(OutputQueue, HoldsADelayedReplyUntilItIsDue) {
    OutputQueue queue(DeliverySettings{});
    const auto now = Clock::now();
    queue.Push({{"f1\r\n"}, {"f3\r\n", 30ms}}, now, 0ns);
    Capture capture;
    EXPECT_EQ(queue.Flush(now, capture.Writer()), OutputQueue::State::Waiting);
    EXPECT_EQ(capture.writes, std::vector<std::string>{"f1\r\n"});
    EXPECT_EQ(*queue.NextDue(), now + 30ms);
    EXPECT_EQ(queue.Flush(now + 30ms, capture.Writer()), OutputQueue::State::Idle);
    EXPECT_EQ(capture.writes.back(), "f3\r\n");
}

TEST(OutputQueue, DeliversChunksWithPauses) {
    DeliverySettings settings;
    settings.chunk = 3;
    settings.chunkGap = 5ms;
    OutputQueue queue(settings);
    auto now = Clock::now();
    queue.Push({{"Malibiprn\r\n"}}, now, 0ns);
    Capture capture;
    while (queue.Flush(now, capture.Writer()) == OutputQueue::State::Waiting) {
        EXPECT_EQ(*queue.NextDue(), now + 5ms);
        now = *queue.NextDue();
    }
    EXPECT_EQ(capture.writes, (std::vector<std::string>{"Mal", "ibi", "prn", "\r\n"}));
}

TEST(OutputQueue, PacesBytesAtTheLineRate) {
    DeliverySettings settings;
    settings.pace = true;
    OutputQueue queue(settings);
    const auto start = Clock::now();
    queue.Push({{"0123456789"}}, start, 1ms);
    Capture capture;
    EXPECT_EQ(queue.Flush(start, capture.Writer()), OutputQueue::State::Waiting);
    EXPECT_TRUE(capture.writes.empty());
    queue.Flush(start + 4ms, capture.Writer());
    ASSERT_EQ(capture.writes.size(), 1u);
    EXPECT_EQ(capture.writes[0], "0123");
    EXPECT_EQ(queue.Flush(start + 10ms, capture.Writer()), OutputQueue::State::Idle);
    EXPECT_EQ(capture.writes[1], "456789");
}

TEST(OutputQueue, ReportsAHangUpAfterItsReply) {
    OutputQueue queue(DeliverySettings{});
    const auto now = Clock::now();
    queue.Push({{"3;...\r\n", 0ms, true}, {"never\r\n"}}, now, 0ns);
    Capture capture;
    EXPECT_EQ(queue.Flush(now, capture.Writer()), OutputQueue::State::HangUp);
    EXPECT_EQ(capture.writes, std::vector<std::string>{"3;...\r\n"});
    EXPECT_TRUE(queue.Empty());
}

TEST(OutputQueue, KeepsWhatTheCarrierCouldNotTake) {
    OutputQueue queue(DeliverySettings{});
    const auto now = Clock::now();
    queue.Push({{"abcdef"}}, now, 0ns);
    std::string taken;
    EXPECT_EQ(queue.Flush(now,
                          [&](const char* data, std::size_t) {
                              taken.append(data, 2);
                              return 2L;
                          }),
              OutputQueue::State::Blocked);
    Capture capture;
    EXPECT_EQ(queue.Flush(now, capture.Writer()), OutputQueue::State::Idle);
    EXPECT_EQ(taken + capture.writes.at(0), "abcdef");
}
