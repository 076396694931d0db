#include "app/window_rules.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(Toggles, MinusOneMeansOn) {
    EXPECT_EQ(ToggleMinusOne(0), -1);
    EXPECT_EQ(ToggleMinusOne(-1), 0);
    EXPECT_EQ(ToggleMinusOne(1), 0);  // a hand-edited 1 is on: one toggle switches it off
    EXPECT_EQ(ToggleMinusOne(ToggleMinusOne(0)), 0);
}

TEST(MenuStates, ConnectedDeviceWithoutOverlay) {
    MenuInputs in;
    in.connected = true;
    in.previewOn = true;
    in.statusShown = true;
    in.topMost = true;
    in.hasSourceDialog = true;
    in.hasFormatDialog = true;
    OptionsMenuState o = OptionsMenuStates(in);
    EXPECT_TRUE(o.preview.enabled);
    EXPECT_TRUE(o.preview.checked);
    EXPECT_FALSE(o.overlay.enabled);  // greyed without overlay hardware
    EXPECT_TRUE(o.overlay.keepCheck);
    EXPECT_TRUE(o.videoSettings.enabled);
    EXPECT_TRUE(o.status.checked);
    EXPECT_FALSE(o.confirm.checked);
    EXPECT_TRUE(o.topMost.checked);
    VideoSettingsMenuState v = VideoSettingsMenuStates(in);
    EXPECT_TRUE(v.source.enabled);
    EXPECT_TRUE(v.format.enabled);
    EXPECT_FALSE(v.display.enabled);

    in.hasOverlay = true;
    in.overlayOn = true;
    o = OptionsMenuStates(in);
    EXPECT_TRUE(o.overlay.enabled);
    EXPECT_TRUE(o.overlay.checked);
    EXPECT_FALSE(o.overlay.keepCheck);
}

TEST(MenuStates, NotConnectedGreysTheDeviceItemsButKeepsTheirChecks) {
    MenuInputs in;
    in.previewOn = true;
    in.confirmOn = true;
    OptionsMenuState o = OptionsMenuStates(in);
    EXPECT_FALSE(o.preview.enabled);
    EXPECT_TRUE(o.preview.keepCheck);
    EXPECT_FALSE(o.overlay.enabled);
    EXPECT_FALSE(o.videoSettings.enabled);
    EXPECT_TRUE(o.status.enabled);
    EXPECT_TRUE(o.confirm.checked);
}

TEST(MenuStates, SaveAsFollowsTheCaptureFileAndTimerItsArming) {
    MenuInputs in;
    EXPECT_FALSE(FileMenuSaveAsState(in).enabled);
    in.captureFileExists = true;
    EXPECT_TRUE(FileMenuSaveAsState(in).enabled);
    EXPECT_FALSE(CaptureMenuTimerState(in).checked);
    in.timerArmed = true;
    EXPECT_TRUE(CaptureMenuTimerState(in).checked);
}

TEST(Fitting, RulesPerOccasion) {
    FitRule scaled = FittingRule(FitOccasion::CreationScaled);
    EXPECT_EQ(scaled.adjustStyle, 0x00CF0000u);
    EXPECT_EQ(scaled.extraMenuHeights, 0);
    EXPECT_TRUE(scaled.addStatusBarHeight);
    FitRule fixed = FittingRule(FitOccasion::CreationFixed);
    EXPECT_EQ(fixed.adjustStyle, 0x00400000u);
    EXPECT_EQ(fixed.extraMenuHeights, 1);
    EXPECT_TRUE(fixed.addStatusBarHeight);
    FitRule format = FittingRule(FitOccasion::AfterFormatDialog);
    EXPECT_EQ(format.extraMenuHeights, 2);
    EXPECT_FALSE(format.addStatusBarHeight);
    EXPECT_TRUE(format.recreateStatusBar);
    FitRule overlay = FittingRule(FitOccasion::OverlayOn);
    EXPECT_EQ(overlay.adjustStyle, 0x20u);
    EXPECT_TRUE(overlay.recreateStatusBar);
    EXPECT_EQ(MainWindowStyle(true), 0x02CF0000u);
    EXPECT_EQ(MainWindowStyle(false), 0x020A0000u);
}

TEST(StatusText, RedForTextsStartingLikeTimer) {
    EXPECT_TRUE(IsTimerText("TIMER : 2001/ 5/12 21:00:00"));
    EXPECT_TRUE(IsTimerText("timelapse0001.bmp へ保存しました"));
    EXPECT_TRUE(IsTimerText("Time"));
    EXPECT_FALSE(IsTimerText("timber0001.bmp へ保存しました"));
    EXPECT_FALSE(IsTimerText("TIM"));
    EXPECT_FALSE(IsTimerText(""));
    EXPECT_FALSE(IsTimerText("53946 ﾌﾚｰﾑ 0 ﾄﾞﾛｯﾌﾟ 1800.020 秒"));
}

}  // namespace
}  // namespace kestrova
