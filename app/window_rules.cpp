#include "app/window_rules.h"

namespace kestrova {

ItemState FileMenuSaveAsState(const MenuInputs& in) { return ItemState{in.captureFileExists, false, true}; }

ItemState CaptureMenuTimerState(const MenuInputs& in) { return ItemState{true, in.timerArmed, false}; }

OptionsMenuState OptionsMenuStates(const MenuInputs& in) {
    OptionsMenuState s;
    if (in.connected) {
        s.preview = ItemState{true, in.previewOn, false};
        s.overlay = in.hasOverlay ? ItemState{true, in.overlayOn, false} : ItemState{false, false, true};
        s.videoSettings = ItemState{true, false, true};
    } else {
        s.preview = ItemState{false, false, true};
        s.overlay = ItemState{false, false, true};
        s.videoSettings = ItemState{false, false, true};
    }
    s.status = ItemState{true, in.statusShown, false};
    s.confirm = ItemState{true, in.confirmOn, false};
    s.topMost = ItemState{true, in.topMost, false};
    return s;
}

VideoSettingsMenuState VideoSettingsMenuStates(const MenuInputs& in) {
    return VideoSettingsMenuState{ItemState{in.hasSourceDialog, false, true},
                                  ItemState{in.hasFormatDialog, false, true},
                                  ItemState{in.hasDisplayDialog, false, true}};
}

FitRule FittingRule(FitOccasion occasion) {
    switch (occasion) {
    case FitOccasion::CreationScaled:
        return FitRule{kStyleOverlappedWindow, 0, true, false};
    case FitOccasion::CreationFixed:
        return FitRule{kStyleDialogFrame, 1, true, false};
    case FitOccasion::AfterFormatDialog:
        return FitRule{kStyleDialogFrame, 2, false, true};
    case FitOccasion::OverlayOn:
        return FitRule{kStyleOverlayFrame, 2, false, true};
    }
    return FitRule{};
}

std::uint32_t MainWindowStyle(bool previewScale) {
    return previewScale ? 0x02CF0000u : 0x020A0000u;
}

bool IsTimerText(std::string_view text) {
    static constexpr char kTimer[] = "TIME";
    if (text.size() < 4) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != kTimer[i]) return false;
    }
    return true;
}

}  // namespace kestrova
