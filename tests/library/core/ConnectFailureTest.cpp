// Why a Connect failed, as a caller reads it: GetParameter("error") gives
// "<code>: <port or address>: <reason>", and "" after a success; with
// QELSCALE_DEBUG=1 every failure is also written on stderr.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "PtyPair.h"
#include "QELScale.h"
#include "ScaleSimProcess.h"
#include "platform/Failure.h"
#include "platform/PortHolder.h"

namespace {

struct ScaleDeleter {
    void operator()(CVESKScaleInterface* scale) const {
        static_cast<CVESKDeviceInterface*>(scale)->Release();
    }
};
using ScalePtr = std::unique_ptr<CVESKScaleInterface, ScaleDeleter>;

std::string ErrorAfterConnect(CVESKDeviceInterface* device) {
    EXPECT_FALSE(device->Connect());
    const char* error = device->GetParameter("error");
    return error != nullptr ? error : "(null)";
}

std::string SerialError(const std::string& path) {
    ScalePtr scale(GetVESKScaleInstance());
    CVESKDeviceInterface* device = scale.get();
    device->SetConnectionKind(0);
    EXPECT_TRUE(device->SetParameter("COM", path.c_str()));
    return ErrorAfterConnect(device);
}

// A port on 127.0.0.1 that nothing listens on: bound once, then let go.
uint16_t ClosedLoopbackPort() {
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(handle, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(handle);
    return ntohs(address.sin_port);
}

// The helper process holds the line through the library, as another
// program using QELScale would.
std::unique_ptr<ScaleSimProcess> HoldLine(const std::string& path) {
    return std::make_unique<ScaleSimProcess>(CONNECT_HELPER_PATH,
                                             std::vector<std::string>{"hold", "0", "COM=" + path});
}

TEST(ConnectFailure, AfterASuccessTheReasonIsEmpty) {
    qeltest::PtyPair pty;
    ScalePtr scale(GetVESKScaleInstance());
    CVESKDeviceInterface* device = scale.get();
    EXPECT_STREQ(device->GetParameter("error"), "") << "nothing failed yet";
    device->SetConnectionKind(0);
    device->SetParameter("COM", "/dev/qel-no-such-port");
    EXPECT_FALSE(device->Connect());
    EXPECT_STRNE(device->GetParameter("error"), "");
    device->SetParameter("COM", pty.SlavePath().c_str());
    ASSERT_TRUE(device->Connect());
    EXPECT_STREQ(device->GetParameter("error"), "");
    EXPECT_TRUE(device->Disconnect());
    EXPECT_STREQ(device->GetParameter("ConnectionKind"), "RS232")
        << "other keys keep their meaning";
}

TEST(ConnectFailure, AMissingPortIsNotFound) {
    EXPECT_EQ(SerialError("/dev/qel-no-such-port"),
              "not-found: /dev/qel-no-such-port: no such device");
}

TEST(ConnectFailure, ALineHeldByAnotherProcessIsBusyWithItsPid) {
    qeltest::PtyPair pty;
    auto holder = HoldLine(pty.SlavePath());
    EXPECT_EQ(SerialError(pty.SlavePath()), "busy: " + pty.SlavePath() +
                                                ": in use by another program (process " +
                                                std::to_string(holder->Pid()) + ")");
    holder->Stop();
    EXPECT_TRUE(holder->WaitForExit(std::chrono::seconds(5)));
}

TEST(ConnectFailure, AnUnreadableDeviceIsAPermissionProblem) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root opens any device node";
    }
    qeltest::PtyPair pty;
    ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0), 0);
    EXPECT_EQ(SerialError(pty.SlavePath()),
              "permission: " + pty.SlavePath() + ": permission denied");
    ::chmod(pty.SlavePath().c_str(), 0600);
}

TEST(ConnectFailure, AClosedLoopbackPortRefuses) {
    const uint16_t port = ClosedLoopbackPort();
    ScalePtr scale(GetVESKScaleInstance());
    CVESKDeviceInterface* device = scale.get();
    device->SetConnectionKind(2);
    device->SetParameter("ip", "127.0.0.1");
    device->SetParameter("port", std::to_string(port).c_str());
    EXPECT_EQ(ErrorAfterConnect(device),
              "refused: 127.0.0.1:" + std::to_string(port) + ": connection refused");
}

TEST(ConnectFailure, SettingsThatCannotWorkAreInvalid) {
    ScalePtr scale(GetVESKScaleInstance());
    CVESKDeviceInterface* device = scale.get();
    device->SetConnectionKind(2);
    device->SetParameter("ip", "scale.local");
    device->SetParameter("port", "1001");
    EXPECT_EQ(ErrorAfterConnect(device), "invalid: 'scale.local': not an IPv4 address");
    device->SetConnectionKind(7);
    EXPECT_STREQ(device->GetParameter("error"), "") << "a new kind forgets the old reason";
    EXPECT_EQ(ErrorAfterConnect(device),
              "invalid: connection kind 7: not 0 (RS232), 1 (USB) or 2 (ETH)");
}

TEST(ConnectFailure, SystemErrorsMapToCodesAndEnglishTexts) {
    const struct {
        int systemError;
        qel::FailureCode code;
        const char* text;
    } cases[] = {
        {ENOENT, qel::FailureCode::kNotFound, "no such device"},
        {EACCES, qel::FailureCode::kPermission, "permission denied"},
        {EBUSY, qel::FailureCode::kBusy, "in use by another program"},
        {ENETUNREACH, qel::FailureCode::kUnreachable, "network unreachable"},
        {EHOSTUNREACH, qel::FailureCode::kUnreachable, "host unreachable"},
        {ECONNREFUSED, qel::FailureCode::kRefused, "connection refused"},
        {ETIMEDOUT, qel::FailureCode::kTimeout, "timed out"},
        {ENOTTY, qel::FailureCode::kInvalid, "not a serial line"},
        {EPIPE, qel::FailureCode::kClosed, "the other end has closed"},
        {EIO, qel::FailureCode::kIo, "input/output error"},
        {9999, qel::FailureCode::kOther, "system error 9999"},
    };
    for (const auto& c : cases) {
        const qel::Failure failure = qel::SystemFailure(c.systemError, "/dev/ttyS0");
        EXPECT_EQ(failure.code, c.code) << c.text;
        EXPECT_EQ(failure.detail, std::string("/dev/ttyS0: ") + c.text);
    }
    EXPECT_EQ(qel::SystemFailure(ETIMEDOUT, "10.0.0.9:1001").Text(),
              "timeout: 10.0.0.9:1001: timed out");
    EXPECT_EQ(qel::Failure().Text(), "");
}

// A lock file names the holder when no lock on the device itself does; a
// file left behind by a process that has ended names nobody.
TEST(ConnectFailure, ALockFileNamesTheHolder) {
    qeltest::PtyPair pty;
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qel-locks-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string lockFile =
        (dir / ("LCK.." + std::filesystem::path(pty.SlavePath()).filename().string())).string();
    std::ofstream(lockFile) << "     " << getppid() << "\n";
    EXPECT_EQ(qel::FindPortHolder(pty.SlavePath(), {dir.string()}), getppid());
    std::ofstream(lockFile) << "  999999999\n";
    EXPECT_EQ(qel::FindPortHolder(pty.SlavePath(), {dir.string()}), std::nullopt);
    std::filesystem::remove_all(dir);
}

TEST(ConnectFailure, DebugTraceShowsTheFailureOnStderr) {
    const std::string errorFile =
        (std::filesystem::temp_directory_path() / ("qel-trace-" + std::to_string(getpid())))
            .string();
    auto readTrace = [&](bool debug) {
        if (debug) {
            setenv("QELSCALE_DEBUG", "1", 1);
        }
        ScaleSimProcess helper(CONNECT_HELPER_PATH, {"try", "0", "COM=/dev/qel-no-such-port"},
                               errorFile);
        unsetenv("QELSCALE_DEBUG");
        EXPECT_TRUE(helper.WaitForExit(std::chrono::seconds(10)));
        EXPECT_EQ(WEXITSTATUS(helper.ExitStatus()), 3);
        std::ifstream in(errorFile);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(readTrace(true),
              "QELScale: serial open: not-found: /dev/qel-no-such-port: no such device\n");
    EXPECT_EQ(readTrace(false), "") << "silent unless asked";
    std::filesystem::remove(errorFile);
}

}  // namespace
