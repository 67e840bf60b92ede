// The serial sending thread: one per open port, sending texts whole and in
// the order of the Write calls, so that Write never blocks its caller. What
// the driver takes at once is written directly; the thread sends the rest.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace qel {

class SerialDevice;

class TWatekWysylania {
public:
    explicit TWatekWysylania(SerialDevice& device);
    // Lets the queue drain for a short while, then stops and joins.
    ~TWatekWysylania();

    void Enqueue(std::string text);

private:
    void Run();

    SerialDevice& device_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    bool sending_ = false;
    bool stopRequested_ = false;
    std::thread thread_;
};

}  // namespace qel
