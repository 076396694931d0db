#include "app/failure_outlet.h"
#include "app/view_toggles.h"
#include "app/window_rules.h"
#include "device_fixture.h"
#include "platform/dpi.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace kestrova {
namespace {

TEST(WindowRules, TrayWhenArmedFrameAfterEnvironmentAndWhereFailuresGo) {
    // Minimised while armed, the window hides behind its icon; minimised
    // unarmed it stays on the task bar; shown again, the icon goes.
    EXPECT_EQ(std::tuple(ActionsForSize(true, true), ActionsForSize(true, false), ActionsForSize(false, true)),
              std::tuple(SizeActions{true, true, false, false}, SizeActions{}, SizeActions{false, false, true, true}));
    // A scaled picture makes the frame sizable as it is; a fixed one is
    // fitted with a fixed frame and one menu height for the status bar.
    const std::uint32_t style = MainWindowStyle(false);
    EXPECT_EQ(FrameAfterEnvironment(style, false).style, style | kStyleSizableFrame);
    const FrameChange fixed = FrameAfterEnvironment(style | kStyleSizableFrame, true);
    EXPECT_EQ(std::tuple(fixed.style, fixed.fit, fixed.extraMenuHeights), std::tuple(style, true, 1));
    // Inside a scheduled run no box may wait for a click.
    EXPECT_EQ(OutletFor(FailureKind::WorkFile, true), FailureOutlet::Notice);
    EXPECT_EQ(OutletFor(FailureKind::Recording, true), FailureOutlet::Notice);
    EXPECT_EQ(OutletFor(FailureKind::Recording, false), FailureOutlet::Box);
    EXPECT_EQ(OutletFor(FailureKind::Save, true), FailureOutlet::Box);
    EXPECT_EQ(OutletFor(FailureKind::Schedule, false), FailureOutlet::Notice);
    EXPECT_EQ(OutletFor(FailureKind::Ending, false), FailureOutlet::LogLine);
}

class ViewToggles : public testing::DeviceFixture {};

TEST_F(ViewToggles, PreviewAndOverlayExcludeEachOtherInTheSettingsAndOverlayClearsScalingAtStart) {
    port.caps.fHasOverlay = 1;  // overlay hardware (the test pattern has none)
    const auto device = Make();
    settings.PreviewScale = settings.Overlay = 1;
    ApplyStartupDisplayRules(settings);
    EXPECT_EQ(settings.PreviewScale, 0);
    TogglePreview(*device, settings);  // the status says the preview is off: it goes on
    EXPECT_EQ(std::pair(settings.Preview, settings.Overlay), std::pair(1, 0));
    // Overlay on: preview and scaling end, and the capture window takes the picture's size.
    settings.PreviewScale = 1;
    port.status.uiImageWidth = 640;
    port.status.uiImageHeight = 480;
    EXPECT_EQ(ToggleOverlay(*device, settings), (PictureSize{640, 480}));
    EXPECT_EQ(std::tuple(settings.Overlay, settings.Preview, settings.PreviewScale), std::tuple(1, 0, 0));
    port.status.fOverlayWindow = 1;
    EXPECT_EQ(ToggleOverlay(*device, settings), std::nullopt);
    EXPECT_EQ(settings.Overlay, 0);
}

TEST(StatusFont, SizesScaleRoundedLikeMulDivTheStoredHeightIsTheSameAtEveryDpiAndTheFaceIsCutWhole) {
    // Halves go away from zero, the same way for either sign; an unknown DPI
    // (0) counts as 96; what does not fit is held at the largest size.
    for (const auto& [value, to, from, want] :
         {std::array{12, 144, 96, 18}, {1, 144, 96, 2}, {5, 96, 192, 3}, {7, 120, 96, 9}, {12, 0, 96, 12}}) {
        EXPECT_EQ(std::pair(ScaleDpi(value, to, from), ScaleDpi(-value, to, from)), std::pair(want, -want)) << value;
    }
    EXPECT_EQ(ScaleDpi(2000000000, 192, 96), 2147483647);
    // Every size the font dialog offers, at each usual DPI: the dialog's
    // height for it (-points * dpi / 72) is stored as the 96-DPI height.
    for (int dpi : {96, 120, 144, 168, 192}) {
        for (int points = 6; points <= 48; ++points) {
            const int height = -ScaleDpi(points * 10, dpi, 720);
            EXPECT_EQ(StoredStatusFontHeight(height, points * 10, dpi), -ScaleDpi(points * 10, 96, 720))
                << points << " pt at " << dpi;
        }
    }
    // 7 pt at 192 DPI is -19; scaled back alone it would be -10, not -9.
    EXPECT_EQ(StoredStatusFontHeight(-19, 70, 192), -9);
    // A cell height (the default 12) and a height without points go both ways.
    EXPECT_EQ(StatusFontHeightAt(12, 144), 18);
    EXPECT_EQ(StoredStatusFontHeight(18, 90, 144), 12);
    EXPECT_EQ(StoredStatusFontHeight(-24, 0, 144), -16);
    AppSettings s;
    s.FontItalic = 0x101;  // only the low byte reaches the font
    EXPECT_EQ(StatusFontFromSettings(s).italic, 1);
    // The face field holds 31 UTF-16 units: longer names are cut on a
    // character boundary, never inside a surrogate pair.
    s.FontFaceName = std::string(30, 'a') + "表示";
    EXPECT_EQ(StatusFontFromSettings(s).face, std::string(30, 'a') + "表");
    s.FontFaceName = std::string(30, 'a') + "\xF0\x9F\x98\x80";  // one character outside the BMP
    EXPECT_EQ(StatusFontFromSettings(s).face, std::string(30, 'a'));
}

}  // namespace
}  // namespace kestrova
