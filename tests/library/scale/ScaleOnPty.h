// A scale object connected to a pseudo-terminal whose other end the test
// plays, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "CallbackRecorder.h"
#include "PtyPair.h"
#include "ScaleHandle.h"

namespace qeltest {

class ScaleOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        CallbackRecorder::Instance().Clear();
        device->SetConnectionKind(0);
        ASSERT_TRUE(device->SetParameter("COM", pty.SlavePath().c_str()));
        ASSERT_TRUE(device->Connect());
    }
    void TearDown() override {
        if (peer.joinable()) {
            peer.join();
        }
        device->StopListener();
    }

    // Waits for `request` on the line, then answers `reply`.
    void Answer(const std::string& request, const std::string& reply) {
        std::string got = pty.ReceiveUntil(request);
        ASSERT_NE(got.find(request), std::string::npos) << "waited for " << request;
        pty.Send(reply);
    }

    CallbackRecorder& recorder = CallbackRecorder::Instance();
    PtyPair pty;
    ScaleHandle scale = NewScale();
    CVESKDeviceInterface* device = DeviceOf(scale);
    std::thread peer;
};

}  // namespace qeltest
