// A capture device on the recording fake, for tests of what dialogs and
// commands make it send, with fake files and answers for it.
#pragma once

#include "capture/capture_device.h"
#include "capture/forwarding_port.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace kestrova::testing {

// Whether `wanted` are among `calls` in this order, whatever comes between.
inline bool InOrder(const std::vector<std::string>& calls, std::initializer_list<std::string> wanted) {
    auto at = calls.begin();
    for (const std::string& call : wanted) {
        at = std::find(at, calls.end(), call);
        if (at++ == calls.end()) return false;
    }
    return true;
}

class DeviceFixture : public ::testing::Test {
protected:
    // A device with its capture window made; what that sent is taken when
    // `forget` is set.
    std::unique_ptr<CaptureDevice> Make(bool forget = true) {
        auto device = std::make_unique<CaptureDevice>(guarded, settings, sink, clock, &services);
        static_cast<void>(device->Create("VideoCapture", kStyleChild, 0, 0, 320, 240, 0x10, 1));
        if (forget) port.Take();
        return device;
    }

    FakeCapturePort port;
    // As the program makes it: nothing reaches a window that is gone.
    GuardedPort guarded{port};
    AppSettings settings;
    ManualClock clock{1000000};
    FakeStatusSink sink;
    FakeDeviceServices services;
};

}  // namespace kestrova::testing
