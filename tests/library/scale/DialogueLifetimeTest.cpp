// What happens to a running dialogue when the caller changes, closes or
// releases the object under it, and how a dialogue ends when the line brings
// nothing, or nothing but bytes without a line end.
#include <sys/file.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <limits>
#include <vector>

#include "ScaleOnPty.h"

namespace {

using namespace std::chrono_literals;
using qeltest::CallbackRecorder;
using Clock = std::chrono::steady_clock;
using Statuses = std::vector<int32_t>;

const char* const kWeightLine = "      1.000 kg\r\n";

class DialogueLifetimeTest : public qeltest::ScaleOnPty {
protected:
    bool StartAlibiRead() {
        return scale->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus);
    }

    // True when no other open file holds the pseudo-terminal's lock, which
    // the serial transport keeps while its line is open.
    bool LineIsFree() {
        const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return free;
    }
};

template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds within = 3s) {
    const auto end = Clock::now() + within;
    while (!done() && Clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    return done();
}

TEST_F(DialogueLifetimeTest, ChangingTheConnectionKindStopsARunningDialogueFirst) {
    for (int kind : {2, 0}) {
        SCOPED_TRACE(kind);
        device->SetConnectionKind(0);
        ASSERT_TRUE(device->SetParameter("COM", pty.SlavePath().c_str()));
        ASSERT_TRUE(device->Connect());
        ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 0));
        pty.ReceiveUntil("SI\r\n");
        std::this_thread::sleep_for(30ms);  // the listener waits in its read now
        const auto start = Clock::now();
        device->SetConnectionKind(kind);
        EXPECT_LT(Clock::now() - start, 2s);
        pty.Send(kWeightLine);
        std::this_thread::sleep_for(250ms);
        EXPECT_TRUE(recorder.WaitForWeights(1, 10ms).empty()) << "the old line is gone";
        EXPECT_TRUE(LineIsFree());
    }
}

TEST_F(DialogueLifetimeTest, DisconnectWhileADialogueReadsClosesTheLine) {
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 0));
    pty.ReceiveUntil("SI\r\n");
    std::this_thread::sleep_for(30ms);
    const auto start = Clock::now();
    EXPECT_TRUE(device->Disconnect());
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_TRUE(LineIsFree()) << "closed when Disconnect returns";
    pty.Send(kWeightLine);
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(recorder.WaitForWeights(1, 10ms).empty());

    // The object is as good as new: connect again and weigh.
    ASSERT_TRUE(device->Connect());
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 1000));
    Answer("SI\r\n", kWeightLine);
    EXPECT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u);
}

// The record browser disconnects inside its status-1 callback.
CVESKDeviceInterface* disconnecting = nullptr;
std::atomic<bool> disconnected{false};
void DisconnectAtTheEnd(int32_t status) {
    if (status == 1) {
        disconnected = disconnecting->Disconnect();
    }
    CallbackRecorder::OnStatus(status);
}

TEST_F(DialogueLifetimeTest, DisconnectInsideTheLastCallback) {
    disconnecting = device;
    disconnected = false;
    ASSERT_TRUE(scale->StartAlibiRead(CallbackRecorder::OnProgress, DisconnectAtTheEnd));
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:0\r\nREC_ID;STB\r\n");
    Answer("Salibinext\r\n", "Malibiprn\r\n");
    EXPECT_EQ(recorder.WaitForStatuses(2, 3s), (Statuses{0, 1}));
    EXPECT_TRUE(disconnected);
    EXPECT_TRUE(WaitUntil([&] { return LineIsFree(); }));
}

// Release inside a callback: the object goes once the callback is over.
std::atomic<CVESKDeviceInterface*> releasing{nullptr};
std::atomic<int> callsAfterRelease{0};
void ReleaseOnWeight(WeighingResult result) {
    if (CVESKDeviceInterface* device = releasing.exchange(nullptr)) {
        device->Release();
    } else {
        ++callsAfterRelease;
    }
    CallbackRecorder::OnWeight(result);
}
void ReleaseOnHeader(int32_t status) {
    if (CVESKDeviceInterface* device = releasing.exchange(nullptr)) {
        device->Release();
    } else {
        ++callsAfterRelease;
    }
    CallbackRecorder::OnStatus(status);
}

TEST_F(DialogueLifetimeTest, ReleaseInsideACallbackDestroysTheObjectAfterIt) {
    struct Case {
        const char* name;
        bool alibi;
    };
    for (const Case c : {Case{"weight", false}, Case{"status 0", true}}) {
        SCOPED_TRACE(c.name);
        recorder.Clear();
        callsAfterRelease = 0;
        CVESKScaleInterface* released = GetVESKScaleInstance();
        CVESKDeviceInterface* releasedDevice = released;
        releasedDevice->SetConnectionKind(0);
        ASSERT_TRUE(releasedDevice->SetParameter("COM", pty.SlavePath().c_str()));
        device->Disconnect();  // the line belongs to the object under test now
        ASSERT_TRUE(releasedDevice->Connect());
        releasing = releasedDevice;
        if (c.alibi) {
            ASSERT_TRUE(released->StartAlibiRead(CallbackRecorder::OnProgress, ReleaseOnHeader));
            Answer("Salibitrn\r\n", "OK\r\n");
            Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:2\r\nREC_ID;STB\r\n");
            ASSERT_EQ(recorder.WaitForStatuses(1, 3s), (Statuses{0}));
        } else {
            ASSERT_TRUE(released->RequestSI(ReleaseOnWeight, 0));
            Answer("SI\r\n", kWeightLine);
            ASSERT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u);
        }
        EXPECT_TRUE(WaitUntil([&] { return LineIsFree(); })) << "the object closed its line";
        pty.ReceiveUntilQuiet(200);
        pty.Send("1;a;b;1;u;p;1;1;0;kg;0;1\r\nMalibiprn\r\n");
        pty.Send(kWeightLine);
        std::this_thread::sleep_for(250ms);
        EXPECT_EQ(callsAfterRelease, 0);
        EXPECT_EQ(recorder.Progress().size(), 0u);
        ASSERT_TRUE(device->Connect());
    }
}

TEST_F(DialogueLifetimeTest, NoNewDialogueStartsInsideACallback) {
    static CVESKScaleInterface* inside = nullptr;
    static std::atomic<int> refused{0};
    inside = scale.get();
    refused = 0;
    ASSERT_TRUE(scale->RequestSI(
        [](WeighingResult result) {
            refused += inside->RequestSI(CallbackRecorder::OnWeight, 100) ? 0 : 1;
            refused += inside->StartAlibiRead(nullptr, nullptr) ? 0 : 1;
            CallbackRecorder::OnWeight(result);
        },
        1000));
    Answer("SI\r\n", kWeightLine);
    ASSERT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u);
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(pty.ReceiveUntilQuiet(300), "") << "nothing was sent for them";
}

TEST_F(DialogueLifetimeTest, ADialogueAfterAFinishedUnlimitedOneDoesNotResumeIt) {
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 0));
    Answer("SI\r\n", kWeightLine);
    ASSERT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u);
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 300));
    Answer("SI\r\n", "      2.000 kg\r\n");
    ASSERT_EQ(recorder.WaitForWeights(2, 3s).size(), 2u);
    std::this_thread::sleep_for(50ms);

    // No listener is left to take the reply meant for the command.
    peer = std::thread([this] { Answer("ST\r\n", "MT\r\n"); });
    EXPECT_TRUE(scale->SendST(1000));
    peer.join();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.WaitForWeights(3, 10ms).size(), 2u);
}

TEST_F(DialogueLifetimeTest, AnUnlimitedDialogueInterruptedWhileListeningIsResumed) {
    ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, 0));
    pty.ReceiveUntil("SI\r\n");
    ASSERT_TRUE(StartAlibiRead());
    Answer("Salibitrn\r\n", "OK\r\n");
    Answer("Salibiprn\r\n", "Type:T\r\nSerial:1\r\nDate:D\r\nRecords:0\r\nREC_ID;STB\r\n");
    Answer("Salibinext\r\n", "Malibiprn\r\n");
    ASSERT_EQ(recorder.WaitForStatuses(2, 3s), (Statuses{0, 1}));
    std::this_thread::sleep_for(400ms);  // longer than any budget of the read
    pty.Send(kWeightLine);
    EXPECT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u) << "the weighing request listens on";
}

// Over a closed line, or before any connection kind, nothing can arrive: the
// read still keeps its silences (two of 200 ms, then 200 ms for "Salibiprn")
// before it reports that the scale did not answer.
TEST_F(DialogueLifetimeTest, SilenceBudgetsHoldOnALineThatCannotAnswer) {
    struct Case {
        const char* name;
        bool freshObject;
    };
    for (const Case c : {Case{"closed serial line", false}, Case{"no connection kind", true}}) {
        SCOPED_TRACE(c.name);
        recorder.Clear();
        qeltest::ScaleHandle fresh = qeltest::NewScale();
        CVESKScaleInterface* reader = scale.get();
        if (c.freshObject) {
            reader = fresh.get();
        } else {
            ASSERT_TRUE(device->Disconnect());
        }
        const auto start = Clock::now();
        ASSERT_TRUE(
            reader->StartAlibiRead(CallbackRecorder::OnProgress, CallbackRecorder::OnStatus));
        EXPECT_EQ(recorder.WaitForStatuses(1, 5s), (Statuses{2}));
        EXPECT_GE(Clock::now() - start, 450ms);
        static_cast<CVESKDeviceInterface*>(reader)->StopListener();
    }
}

TEST_F(DialogueLifetimeTest, BudgetsBeyondTheLargestWholeCycleListenOn) {
    for (int32_t budget : {std::numeric_limits<int32_t>::max(), 2147483601}) {
        SCOPED_TRACE(budget);
        recorder.Clear();
        ASSERT_TRUE(scale->RequestSI(CallbackRecorder::OnWeight, budget));
        pty.ReceiveUntil("SI\r\n");
        std::this_thread::sleep_for(350ms);  // several silent cycles
        pty.Send(kWeightLine);
        EXPECT_EQ(recorder.WaitForWeights(1, 3s).size(), 1u);
    }
}

// Sends a byte now and then, never a line end, until told to stop.
class Dribbler {
public:
    explicit Dribbler(qeltest::PtyPair& pty)
        : thread_([this, &pty] {
              while (!stop_) {
                  pty.Send("x");
                  std::this_thread::sleep_for(40ms);
              }
          }) {}
    ~Dribbler() {
        stop_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(DialogueLifetimeTest, BytesWithoutALineEndEndTheDialogueAsSilenceDoes) {
    ASSERT_TRUE(StartAlibiRead());
    Answer("Salibitrn\r\n", "OK\r\n");
    pty.ReceiveUntil("Salibiprn\r\n");
    const auto start = Clock::now();
    Dribbler dribbler(pty);
    // No identity line: the scale did not answer "Salibiprn".
    EXPECT_EQ(recorder.WaitForStatuses(1, 12s), (Statuses{2}));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 3s) << "long enough for a slow line's longest line";
    EXPECT_LT(took, 12s);
}

}  // namespace
