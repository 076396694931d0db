// A capture device for the recording tests: work files under D:\work, no
// status bar, and captures that the part callback ends.
#pragma once

#include "capture/capture_device.h"
#include "device_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrova::testing {

// A capture that the part callback ends once per call, `parts` times.
inline std::function<bool(FakeCapturePort&)> PartsEndedByCallback(int parts, std::uint32_t elapsedMs) {
    auto count = std::make_shared<int>(0);
    return [count, parts, elapsedMs](FakeCapturePort& port) {
        if ((*count)++ < parts - 1) {
            port.status.dwCurrentTimeElapsedMS = elapsedMs;
            EXPECT_FALSE(port.capControl(kCaptureStateCapturing));
        }
        return true;
    };
}

class RecordingTest : public DeviceFixture {
protected:
    using Calls = std::vector<std::string>;

    void SetUp() override {
        settings.TempPath = "D:\\work";
        sink.bar = false;  // no status bar
        device = Make();
    }
    // The captures started since the last Take: "limit file" of each, the
    // file without its directory.
    Calls Sequences() {
        Calls out;
        for (const std::string& c : port.Take()) {
            if (c.rfind("SEQUENCE limit=", 0) != 0) continue;
            out.push_back(c.substr(15, c.find(' ', 15) - 15) + " " + c.substr(c.rfind('\\') + 1));
        }
        return out;
    }

    std::unique_ptr<CaptureDevice> device;
    std::vector<std::string>& log = services.log;
};

}  // namespace kestrova::testing
