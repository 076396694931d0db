#include "app/win32/commands.h"

#include "resource_ids.h"

#include <algorithm>
#include <iterator>

namespace kestrova {

namespace {

struct CommandRow {
    UINT id;
    CommandHandler handler;  // cppcheck-suppress unusedStructMember ; read through FindCommand
};

constexpr CommandRow kCommandTable[] = {
    {IDM_EXIT, ExitCommand},
    {IDM_SAVE_AS, SaveAsCommand},
    {IDM_RECORD, RecordCommand},
    {IDM_SNAPSHOT, SnapshotCommand},
    {IDM_CLIPBOARD, ClipboardCommand},
    {IDM_TIMER, TimerCommand},
    {IDM_RESERVATIONS, ReservationsCommand},
    {IDM_ONE_TOUCH, OneTouchCommand},
    {IDM_PREVIEW, PreviewCommand},
    {IDM_OVERLAY, OverlayCommand},
    {IDM_STATUS, StatusDisplayCommand},
    {IDM_CONFIRM, ConfirmCommand},
    {IDM_TOPMOST, TopMostCommand},
    {IDM_FONT, FontCommand},
    {IDM_SOURCE, SourceDialogCommand},
    {IDM_FORMAT, FormatDialogCommand},
    {IDM_DISPLAY, DisplayDialogCommand},
    {IDM_COMPRESSION, CompressionDialogCommand},
    {IDM_AUDIO_FORMAT, AudioFormatCommand},
    {IDM_MIXER, MixerCommand},
    {IDM_DEVICE, DeviceSelectCommand},
    {IDM_ABOUT, AboutCommand},
    {IDM_SEQUENCE, SequenceCommand},
    {IDM_ENVIRONMENT, EnvironmentCommand},
    {IDM_TEMP_INFO, TempDiskCommand},
    {IDM_SNAPSHOT_SETTINGS, SnapshotSettingsCommand},
};

}  // namespace

CommandHandler FindCommand(UINT id) {
    const auto* row = std::find_if(std::begin(kCommandTable), std::end(kCommandTable),
                                   [id](const CommandRow& r) { return r.id == id; });
    return row != std::end(kCommandTable) ? row->handler : nullptr;
}

}  // namespace kestrova
