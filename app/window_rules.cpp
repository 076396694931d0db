#include "app/window_rules.h"

#include "platform/dpi.h"

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

FrameChange FrameAfterEnvironment(std::uint32_t style, bool fixedPicture) {
    if (!fixedPicture) return FrameChange{style | kStyleSizableFrame, false, 0};
    return FrameChange{style & ~kStyleSizableFrame, true, 1};
}

SizeActions ActionsForSize(bool minimized, bool timerArmed) {
    if (!minimized) return SizeActions{false, false, true, true};
    return SizeActions{timerArmed, timerArmed, false, false};
}

std::uint32_t MainWindowStyle(bool previewScale) {
    return kStyleClipChildren | (previewScale ? kStyleOverlappedWindow : kStyleSysMenu | kStyleMinimizeBox);
}

void ApplyStartupDisplayRules(AppSettings& settings) {
    if (settings.Overlay != 0) settings.PreviewScale = 0;
}

namespace {

// The longest prefix of UTF-8 text whose UTF-16 form has at most `units`
// units; a character is never split.
std::string_view Utf16UnitPrefix(std::string_view utf8, std::size_t units) {
    std::size_t pos = 0;
    std::size_t used = 0;
    while (pos < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[pos]);
        const std::size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t cost = bytes == 4 ? 2 : 1;  // outside the BMP: a surrogate pair
        if (used + cost > units || pos + bytes > utf8.size()) break;
        used += cost;
        pos += bytes;
    }
    return utf8.substr(0, pos);
}

}  // namespace

StatusFontSpec StatusFontFromSettings(const AppSettings& settings) {
    StatusFontSpec font;
    font.height = settings.FontSize;
    font.weight = settings.FontWeight;
    font.italic = static_cast<std::uint8_t>(settings.FontItalic & 0xFF);
    font.charSet = kShiftJisCharSet;
    font.face = std::string(Utf16UnitPrefix(settings.FontFaceName, kFontFaceUnits));
    return font;
}

void StoreStatusFont(AppSettings& settings, const StatusFontSpec& font) {
    settings.FontSize = font.height;
    settings.FontWeight = font.weight;
    settings.FontItalic = font.italic;
    settings.FontFaceName = font.face;
}

std::int32_t StatusFontHeightAt(std::int32_t stored, int dpi) { return ScaleDpi(stored, dpi); }

std::int32_t StoredStatusFontHeight(std::int32_t height, int pointTenths, int dpi) {
    constexpr int kTenthsPerInch = 720;
    if (height < 0 && pointTenths > 0) return -ScaleDpi(pointTenths, kBaseDpi, kTenthsPerInch);
    return ScaleDpi(height, kBaseDpi, dpi);
}

}  // namespace kestrova
