// Reads an alibi memory from the scale simulator over a pseudo-terminal and
// prints the rate: first as fast as the simulator answers, then paced at the
// real line rate of 115200 baud 8E1, as a share of what that line allows.
//
//   alibi-read-bench [records-unpaced (20000)] [records-paced (2000)]
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "QELScale.h"
#include "ScaleSimProcess.h"

namespace {

std::mutex mutex;
std::condition_variable done;
int lastStatus = -1;

void OnStatus(int32_t status) {
    std::lock_guard lock(mutex);
    lastStatus = status;
    done.notify_all();
}

void OnProgress(double) {}

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long value = 0;
        if (key == "VmRSS:" && status >> value) {
            return value;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

// Realistic record lines; returns the bytes each exchange puts on the line.
size_t WriteRecords(const std::string& path, int count) {
    std::ofstream file(path);
    size_t lineBytes = 0;
    for (int i = count; i >= 1; --i) {
        char line[160];
        int n =
            std::snprintf(line, sizeof line,
                          "%d;2024-%02d-%02d;%02d:%02d:%02d;%d;OPER%02d;PROD-%05d;%.3f;%.3f;"
                          "%.3f;kg;3;1",
                          i, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60, i % 1000, i % 40,
                          i % 20000, 10 + (i % 997) * 0.125, 12 + (i % 997) * 0.125, 2.0);
        file << line << "\n";
        lineBytes += static_cast<size_t>(n) + 2;  // CR LF
    }
    return lineBytes;
}

struct Result {
    double seconds = 0;
    int64_t records = 0;
    long rssGrowthKiB = 0;
};

Result ReadAll(const std::vector<std::string>& simArgs) {
    ScaleSimProcess sim(simArgs);
    CVESKScaleInterface* scale = GetVESKScaleInstance();
    CVESKDeviceInterface* device = scale;
    device->SetConnectionKind(qelscale::kConnectionSerial);
    device->SetParameter("COM", sim.PtyPath().c_str());
    device->SetParameter("baud", "9600");
    if (!device->Connect()) {
        std::fprintf(stderr, "cannot open %s\n", sim.PtyPath().c_str());
        std::exit(1);
    }
    lastStatus = -1;
    const long rssBefore = ResidentKiB();
    auto start = std::chrono::steady_clock::now();
    scale->StartAlibiRead(OnProgress, OnStatus);
    {
        std::unique_lock lock(mutex);
        done.wait_for(lock, std::chrono::minutes(10), [] {
            return lastStatus == qelscale::kAlibiRecordsStored ||
                   lastStatus == qelscale::kAlibiNoAnswer;
        });
    }
    Result result;
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.records = scale->GetAlibiRecordCount();
    result.rssGrowthKiB = ResidentKiB() - rssBefore;
    if (lastStatus != qelscale::kAlibiRecordsStored) {
        std::fprintf(stderr, "the read did not complete (status %d)\n", lastStatus);
        std::exit(1);
    }
    device->Disconnect();
    device->Release();
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const int unpaced = argc > 1 ? std::atoi(argv[1]) : 20000;
    const int paced = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::string path = "/tmp/alibi-bench-" + std::to_string(::getpid()) + ".txt";

    WriteRecords(path, unpaced);
    Result fast = ReadAll({"--pty", "--records-file", path});
    std::printf("unpaced: %lld records in %.2f s = %.0f records/s (target >= 5000)\n",
                static_cast<long long>(fast.records), fast.seconds, fast.records / fast.seconds);
    std::printf("memory:  resident set grew by %ld KiB = %.0f bytes per record\n",
                fast.rssGrowthKiB, fast.rssGrowthKiB * 1024.0 / fast.records);

    if (paced > 0) {
        const size_t replyBytes = WriteRecords(path, paced);
        const size_t requestBytes =
            static_cast<size_t>(paced) * std::string("Salibinext\r\n").size();
        const double lineSeconds = (replyBytes + requestBytes) * 11.0 / 115200.0;
        Result slow = ReadAll({"--pty", "--records-file", path, "--pace"});
        const double lineRate = paced / lineSeconds;
        const double rate = slow.records / slow.seconds;
        std::printf(
            "paced:   %lld records in %.2f s = %.1f records/s; the line allows %.1f records/s "
            "-> %.1f%% (target >= 95%%)\n",
            static_cast<long long>(slow.records), slow.seconds, rate, lineRate,
            100.0 * rate / lineRate);
    }
    std::remove(path.c_str());
    return 0;
}
