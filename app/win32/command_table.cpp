// The command table: each row hands its handler what that handler works with.
#include "app/view_toggles.h"
#include "app/win32/commands.h"
#include "app/win32/main_window.h"
#include "dialogs/win32/about_dialog.h"
#include "dialogs/win32/device_select_dialog.h"
#include "dialogs/win32/environment_dialog.h"
#include "dialogs/win32/sequence_dialog.h"
#include "dialogs/win32/snapshot_settings_dialog.h"
#include "dialogs/win32/temp_disk_dialog.h"
#include "reservation/win32/reservation_dialog.h"
#include "resource_ids.h"
#include "store/string_table.h"

#include <algorithm>
#include <iterator>

namespace kestrova {

namespace {

struct CommandRow {
    UINT id;
    CommandHandler handler;  // cppcheck-suppress unusedStructMember ; read through FindCommand
};

// The picture's size as the window is fitted to it.
PictureSize SizeOf(const PictureExtent& extent) { return PictureSize{extent.width, extent.height}; }

// The commands of a connected device, and those of any device.
template <void (*Command)(CaptureDevice&, StatusBar&)>
void OnConnected(MainWindow& w) {
    if (CaptureDevice* device = w.connectedDevice()) Command(*device, w.statusBar());
}

void Environment(MainWindow& w) {
    if (const auto outcome = EnvironmentCommand(w.instance(), w.window(), w.settings(), w.device())) {
        std::optional<PictureSize> fixed;
        if (outcome->fixedPicture) fixed = SizeOf(*outcome->fixedPicture);
        w.ChangeFrame(fixed);
        w.statusBar().Create(w.window(), w.statusFont().get());
    }
}

void Overlay(MainWindow& w) {
    if (w.device() == nullptr) return;
    // The overlay shows the picture unscaled: the frame can no longer be resized.
    if (const std::optional<PictureSize> picture = ToggleOverlay(*w.device(), w.settings())) {
        SetWindowLongW(w.window(), GWL_STYLE,
                       static_cast<LONG>(static_cast<std::uint32_t>(GetWindowLongW(w.window(), GWL_STYLE)) &
                                         ~kStyleSizableFrame));
        w.Fit(*picture, FitOccasion::OverlayOn);
    }
}

void Format(MainWindow& w) {
    if (w.device() == nullptr) return;
    if (const std::optional<PictureSize> picture = ChangeVideoFormat(*w.device(), w.settings())) {
        w.Fit(*picture, FitOccasion::AfterFormatDialog);
    }
}

constexpr CommandRow kCommandTable[] = {
    // ﾌｧｲﾙ(&F)
    {IDM_SAVE_AS, [](MainWindow& w) { if (w.device() != nullptr) w.device()->SaveAs(); }},
    {IDM_TEMP_INFO, [](MainWindow& w) { RunTempDiskDialog(w.instance(), w.window(), w.settings(), w.device()); }},
    {IDM_EXIT, [](MainWindow& w) { DestroyWindow(w.window()); }},
    // ｷｬﾌﾟﾁｬ(&C)
    {IDM_RECORD, [](MainWindow& w) {
         if (CaptureDevice* device = w.connectedDevice()) {
             RecordCommand(w.window(), w.run(), w.settings().Confirm != 0, *device, w.statusBar(), w.services());
         }
     }},
    {IDM_ONE_TOUCH, [](MainWindow& w) {
         OneTouchCommand(w.instance(), w.window(), w.run(), w.settings().Onetouch, w.device(), w.statusBar(),
                         w.services());
     }},
    {IDM_SNAPSHOT, OnConnected<SnapshotCommand>},
    {IDM_CLIPBOARD, OnConnected<ClipboardCommand>},
    {IDM_TIMER, [](MainWindow& w) { w.scheduler().Toggle(); }},
    // ｵﾌﾟｼｮﾝ(&O)
    {IDM_PREVIEW, [](MainWindow& w) { if (w.device() != nullptr) TogglePreview(*w.device(), w.settings()); }},
    {IDM_OVERLAY, Overlay},
    {IDM_STATUS, [](MainWindow& w) { if (w.device() != nullptr) ToggleStatusDisplay(*w.device(), w.settings()); }},
    {IDM_CONFIRM, [](MainWindow& w) { ConfirmCommand(w.settings()); }},
    {IDM_TOPMOST, [](MainWindow& w) { TopMostCommand(w.window(), w.settings()); }},
    {IDM_FONT, [](MainWindow& w) { if (FontCommand(w.window(), w.settings())) w.RenewStatusFont(); }},
    {IDM_ENVIRONMENT, Environment},
    {IDM_SNAPSHOT_SETTINGS, [](MainWindow& w) {
         SnapshotSettingsCommand(w.instance(), w.window(), w.settings(), w.device());
     }},
    {IDM_RESERVATIONS, [](MainWindow& w) {
         ReservationsCommand(w.instance(), w.window(), w.clock(), w.reservations(), w.scheduler());
     }},
    // ｵﾌﾟｼｮﾝ → ﾋﾞﾃﾞｵ設定: the driver's own dialogs, the sound and the device
    {IDM_SEQUENCE, [](MainWindow& w) { SequenceCommand(w.instance(), w.window(), w.settings(), w.device()); }},
    {IDM_SOURCE, [](MainWindow& w) { if (w.device() != nullptr) w.device()->ShowSourceDialog(); }},
    {IDM_FORMAT, Format},
    {IDM_DISPLAY, [](MainWindow& w) { if (w.device() != nullptr) w.device()->ShowDisplayDialog(); }},
    {IDM_COMPRESSION, [](MainWindow& w) { if (w.device() != nullptr) w.device()->ShowCompressionDialog(); }},
    {IDM_AUDIO_FORMAT, [](MainWindow& w) {
         if (w.device() != nullptr && w.device()->ChooseAudioFormat() == AudioChoice::Refused) {
             w.services().ShowError(std::string(LoadText(strings::kAudioFormatRefused)));
         }
     }},
    {IDM_MIXER, [](MainWindow&) { MixerCommand(); }},
    {IDM_DEVICE, [](MainWindow& w) {
         RunDeviceSelectDialog(w.instance(), w.window(), w.device(), w.settings());
         // The dialog may have connected another driver, or failed to.
         w.UpdateCaptureMenu();
     }},
    // ﾍﾙﾌﾟ(&H)
    {IDM_ABOUT, [](MainWindow& w) { RunAboutDialog(w.instance(), w.window(), w.device()); }},
};

}  // namespace

CommandHandler FindCommand(UINT id) {
    const auto* row = std::find_if(std::begin(kCommandTable), std::end(kCommandTable),
                                   [id](const CommandRow& r) { return r.id == id; });
    return row != std::end(kCommandTable) ? row->handler : nullptr;
}

}  // namespace kestrova
