// ｵﾌﾟｼｮﾝ → 環境設定: preview, parts, stop conditions, buffers.
#include "app/win32/commands.h"
#include "dialogs/environment.h"
#include "dialogs/win32/environment_dialog.h"

namespace kestrova {

namespace {

constexpr LONG kSizableFrame = WS_THICKFRAME | WS_MAXIMIZEBOX;

// The main window after OK: a scaled picture makes its frame sizable at the
// size it has; otherwise the frame is fixed and fitted to the picture, with
// one menu-bar height below it for the status bar.
void RestyleMainWindow(CommandContext& c, const std::optional<PictureExtent>& picture) {
    const LONG style = GetWindowLongW(c.window, GWL_STYLE);
    if (!picture) {
        SetWindowLongW(c.window, GWL_STYLE, style | kSizableFrame);
        SetWindowPos(c.window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
        return;
    }
    const LONG fixed = style & ~kSizableFrame;
    SetWindowLongW(c.window, GWL_STYLE, fixed);
    RECT rect{0, 0, picture->width, picture->height};
    AdjustWindowRect(&rect, static_cast<DWORD>(fixed), TRUE);
    SetWindowPos(c.window, nullptr, 0, 0, rect.right - rect.left,
                 rect.bottom - rect.top + GetSystemMetrics(SM_CYMENU),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
}

}  // namespace

void EnvironmentCommand(CommandContext& c) {
    std::optional<std::uint16_t> previewRate;
    if (c.device != nullptr) previewRate = c.device->previewRate();
    const std::optional<EnvironmentFields> fields =
        RunEnvironmentDialog(c.instance, c.window, OpenEnvironment(c.settings, previewRate));
    if (!fields) return;
    StoreEnvironment(*fields, c.settings);
    if (c.device == nullptr) return;
    RestyleMainWindow(c, ApplyEnvironment(*c.device, c.settings));
    c.statusBar.Create(c.window, c.statusFont.get());
}

}  // namespace kestrova
