// Decisions of the main window that do not depend on Windows: toggle values,
// menu states, how the window is fitted to the picture, status-text colour.
#pragma once

#include "store/settings.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// The confirm-before-capture and top-most toggles: on is stored as -1.
constexpr std::int32_t ToggleMinusOne(std::int32_t value) { return value != 0 ? 0 : -1; }

// What the menu set-up reads from the device and the settings.
struct MenuInputs {
    bool connected = false;
    bool previewOn = false;
    bool hasOverlay = false;
    bool overlayOn = false;
    bool statusShown = false;
    bool confirmOn = false;
    bool topMost = false;
    bool hasSourceDialog = false;
    bool hasFormatDialog = false;
    bool hasDisplayDialog = false;
    bool captureFileExists = false;
    bool timerArmed = false;
};

// The state of one menu item; `keepCheck` leaves the check mark as it was.
struct ItemState {
    bool enabled = true;
    bool checked = false;
    bool keepCheck = false;
};

struct OptionsMenuState {
    ItemState preview;
    ItemState overlay;
    ItemState videoSettings;  // the "ﾋﾞﾃﾞｵ設定(&V)" submenu
    ItemState status;
    ItemState confirm;
    ItemState topMost;
};

struct VideoSettingsMenuState {
    ItemState source;
    ItemState format;
    ItemState display;
};

ItemState FileMenuSaveAsState(const MenuInputs& in);
ItemState CaptureMenuTimerState(const MenuInputs& in);
OptionsMenuState OptionsMenuStates(const MenuInputs& in);
VideoSettingsMenuState VideoSettingsMenuStates(const MenuInputs& in);

// Fitting the window to a w x h picture: the frame style the picture's
// rectangle is adjusted for (with a menu bar) and the height added to it.
enum class FitOccasion { CreationScaled, CreationFixed, AfterFormatDialog, OverlayOn };

struct FitRule {
    std::uint32_t adjustStyle = 0;
    int extraMenuHeights = 0;  // times SM_CYMENU
    bool addStatusBarHeight = false;
    bool recreateStatusBar = false;
};

FitRule FittingRule(FitOccasion occasion);

// The main window's styles, under names of their own (the Windows build
// checks each against its Win32 name).
inline constexpr std::uint32_t kStyleOverlappedWindow = 0x00CF0000u;  // WS_OVERLAPPEDWINDOW
inline constexpr std::uint32_t kStyleDialogFrame = 0x00400000u;       // WS_DLGFRAME
inline constexpr std::uint32_t kStyleSysMenu = 0x00080000u;           // WS_SYSMENU
inline constexpr std::uint32_t kStyleMinimizeBox = 0x00020000u;       // WS_MINIMIZEBOX
inline constexpr std::uint32_t kStyleClipChildren = 0x02000000u;      // WS_CLIPCHILDREN
inline constexpr std::uint32_t kStyleOverlayFrame = 0x00000020u;      // no frame style

// The frame bits that make the main window sizable (a thick frame and the
// maximise box).
inline constexpr std::uint32_t kStyleSizableFrame = 0x00050000u;  // WS_THICKFRAME | WS_MAXIMIZEBOX

// The main window after 環境設定 with a device: a scaled picture (no size
// given) makes the frame sizable at the size it has; otherwise the frame is
// fixed and fitted to the picture, with one menu-bar height below it for the
// status bar.
struct FrameChange {
    std::uint32_t style = 0;
    bool fit = false;
    int extraMenuHeights = 0;  // times SM_CYMENU, when fitted
};
FrameChange FrameAfterEnvironment(std::uint32_t style, bool fixedPicture);

// A size change of the main window. Minimised while the timer is armed, it
// hides in the notification area; shown again, the icon goes and the
// capture window takes the client area.
struct SizeActions {
    bool showTrayIcon = false;
    bool hideWindow = false;
    bool hideTrayIcon = false;
    bool resizeCapture = false;

    friend bool operator==(const SizeActions&, const SizeActions&) = default;
};
SizeActions ActionsForSize(bool minimized, bool timerArmed);

// The main window's own style for a display mode: a sizable frame while
// the picture is scaled to the window, else a fixed frame.
std::uint32_t MainWindowStyle(bool previewScale);

// The display settings as the window starts with them: overlay shows the
// picture unscaled, so it switches scaling off.
void ApplyStartupDisplayRules(AppSettings& settings);

// The status bar's font as LOGFONT takes it: height, weight, italic byte,
// the Japanese character set, and the face name cut (on a character
// boundary) to the 31 UTF-16 units the face field holds.
struct StatusFontSpec {
    std::int32_t height = 0;
    std::int32_t weight = 0;
    std::uint8_t italic = 0;
    std::uint8_t charSet = 0;
    std::string face;  // UTF-8
};
inline constexpr std::uint8_t kShiftJisCharSet = 128;
inline constexpr std::size_t kFontFaceUnits = 31;

StatusFontSpec StatusFontFromSettings(const AppSettings& settings);
// The font the user chose in the font dialog, kept for the next start.
void StoreStatusFont(AppSettings& settings, const StatusFontSpec& font);

// The status font's height is kept as it is at 96 DPI, so the settings file
// reads the same on every display: it is scaled to the window's DPI when the
// font is made, and the font dialog's choice is scaled back before it is
// stored. A character height (negative) chosen in points is the points'
// height at 96 DPI (the dialog tells tenths of a point), so no rounding at
// the dialog's DPI reaches the file; any other height is scaled back.
std::int32_t StatusFontHeightAt(std::int32_t stored, int dpi);
std::int32_t StoredStatusFontHeight(std::int32_t height, int pointTenths, int dpi);

}  // namespace kestrova
