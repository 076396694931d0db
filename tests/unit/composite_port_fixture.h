// The composite port over two recording fakes, the installed drivers and
// the test pattern, keeping every hand-over of the capture window.
#pragma once

#include "capture/composite_port.h"
#include "fake_capture_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrova::testing {

inline constexpr WindowHandle kDriversWindow = 0x100;
inline constexpr WindowHandle kPatternWindow = 0x200;
inline const std::string kSpare = std::to_string(kSpareCaptureChildId);

class CompositePortTest : public ::testing::Test {
protected:
    using Calls = std::vector<std::string>;

    CompositePortTest() {
        drivers.windowToCreate = kDriversWindow;
        pattern.drivers = {{"Test Pattern", "2.0"}};
        pattern.windowToCreate = kPatternWindow;
        GiveDrivers(1);
    }
    WindowHandle Create() {
        return port.CreateCaptureWindow("VideoCapture", kStyleChild | kStyleVisible, 0, 0, 320, 240, 0x10, 1);
    }
    // The capture window, with the calls that made it forgotten.
    WindowHandle Created() {
        const WindowHandle window = Create();
        drivers.Take();
        pattern.Take();
        return window;
    }
    void GiveDrivers(int count, int missing = -1) {
        drivers.drivers.clear();
        for (int i = 0; i < count; ++i) drivers.drivers.emplace_back("Camera " + std::to_string(i), "1.0");
        drivers.missingDriverIndex = missing;
    }

    FakeCapturePort drivers, pattern;
    Calls handOvers;
    CompositeCapturePort port{drivers, pattern, [this](WindowHandle from, WindowHandle to, int id, int spare) {
                                  handOvers.push_back(std::to_string(from) + "->" + std::to_string(to) + " id=" +
                                                      std::to_string(id) + " spare=" + std::to_string(spare));
                              }};
};

}  // namespace kestrova::testing
