#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "transport/ReceiveBuffer.h"

namespace {

using namespace std::chrono_literals;
using qel::ReceiveBuffer;

TEST(ReceiveBufferTest, TakesFromTheFrontWithoutZeroBytes) {
    ReceiveBuffer buffer(1024);
    const char bytes[] = {'S', '\0', 'T', '\0', '\0', 'A', 'B'};
    buffer.Append(bytes, sizeof bytes);
    EXPECT_EQ(buffer.Take(2, 0ms), "ST");
    EXPECT_EQ(buffer.Take(10, 0ms), "AB");
    EXPECT_FALSE(buffer.HasData());
}

TEST(ReceiveBufferTest, BeyondTheCapTheOldestBytesGo) {
    ReceiveBuffer buffer(4);
    buffer.Append("abc", 3);
    buffer.Append("def", 3);
    EXPECT_EQ(buffer.Take(std::string::npos, 0ms), "cdef");
}

TEST(ReceiveBufferTest, ClearDropsWhatIsUnread) {
    ReceiveBuffer buffer(1024);
    buffer.Append("old", 3);
    buffer.Clear();
    buffer.Append("new", 3);
    EXPECT_EQ(buffer.Take(std::string::npos, 0ms), "new");
}

TEST(ReceiveBufferTest, AnArrivalEndsTheWait) {
    ReceiveBuffer buffer(1024);
    std::thread sender([&] {
        std::this_thread::sleep_for(20ms);
        buffer.Append("OK", 2);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(buffer.Take(2, 10s), "OK");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    sender.join();
}

TEST(ReceiveBufferTest, WakeEndsTheWaitAndLaterTakesDoNotWait) {
    ReceiveBuffer buffer(1024);
    std::thread closer([&] {
        std::this_thread::sleep_for(20ms);
        buffer.Wake();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(buffer.Take(2, 10s), "");
    EXPECT_EQ(buffer.Take(2, 10s), "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    closer.join();
}

}  // namespace
