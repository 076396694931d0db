#include "capture/pattern_device/win32/pattern_dialogs.h"

#include "platform/win32_text.h"
#include "store/string_table.h"

#include <algorithm>
#include <array>
#include <string>

namespace kestrova {

namespace {

struct DialogContext {
    HWND captureWindow;
    CaptureWindowState* state;
};

DialogContext* ContextOf(HWND dialog) {
    return reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

DialogContext* BeginDialog(HWND dialog, LPARAM lParam) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<DialogContext*>(lParam);
}

// The dialog procedures: a failure inside closes the dialog as cancelled.
template <typename Handler>
INT_PTR GuardedDialog(HWND dialog, Handler&& handler) {
    try {
        return handler();
    } catch (...) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
}

INT_PTR CALLBACK SourceDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const DialogContext* context = BeginDialog(dialog, lParam);
            const bool gradient = context->state->model.picture() == PatternKind::MovingGradient;
            CheckRadioButton(dialog, IDC_TESTPATTERN_BARS, IDC_TESTPATTERN_GRADIENT,
                             gradient ? IDC_TESTPATTERN_GRADIENT : IDC_TESTPATTERN_BARS);
            SetDlgItemTextW(dialog, IDC_TESTPATTERN_DEVICE, Widen(kTestPatternDriverName).c_str());
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                DialogContext* context = ContextOf(dialog);
                const bool gradient = IsDlgButtonChecked(dialog, IDC_TESTPATTERN_GRADIENT) == BST_CHECKED;
                context->state->model.SetPicture(gradient ? PatternKind::MovingGradient : PatternKind::ColourBars);
                SaveFormat(*context->state);
                RefreshPreview(context->captureWindow, *context->state);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    });
}

constexpr std::array<int, kTestPatternSizes.size()> kSizeButtons{
    IDC_TESTPATTERN_SIZE_160, IDC_TESTPATTERN_SIZE_320, IDC_TESTPATTERN_SIZE_640, IDC_TESTPATTERN_SIZE_1280,
    IDC_TESTPATTERN_SIZE_1920};

bool IsSizeButton(int id) { return std::find(kSizeButtons.begin(), kSizeButtons.end(), id) != kSizeButtons.end(); }

// The size whose button is checked (the current size when none is).
FrameSize CheckedSize(HWND dialog, FrameSize current) {
    for (std::size_t i = 0; i < kSizeButtons.size(); ++i) {
        if (IsDlgButtonChecked(dialog, kSizeButtons[i]) == BST_CHECKED) return kTestPatternSizes[i];
    }
    return current;
}

// "230,400 ﾊﾞｲﾄ"
std::string ImageBytesText(FrameSize size) {
    const std::string digits = std::to_string(DibImageSize(size.width, size.height));
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return FillText(strings::kPatternImageBytes, {grouped});
}

INT_PTR CALLBACK FormatDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const DialogContext* context = BeginDialog(dialog, lParam);
            const FrameSize current = context->state->model.frameSize();
            for (std::size_t i = 0; i < kSizeButtons.size(); ++i) {
                CheckDlgButton(dialog, kSizeButtons[i], kTestPatternSizes[i] == current ? BST_CHECKED : BST_UNCHECKED);
            }
            SetDlgItemTextW(dialog, IDC_TESTPATTERN_BYTES, Widen(ImageBytesText(current)).c_str());
            return TRUE;
        }
        case WM_COMMAND: {
            DialogContext* context = ContextOf(dialog);
            const int id = LOWORD(wParam);
            if (id == IDOK) {
                context->state->model.SetFrameSize(CheckedSize(dialog, context->state->model.frameSize()));
                SaveFormat(*context->state);
                RefreshPreview(context->captureWindow, *context->state);
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (id == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            if (IsSizeButton(id) && HIWORD(wParam) == BN_CLICKED) {
                const FrameSize chosen = CheckedSize(dialog, context->state->model.frameSize());
                SetDlgItemTextW(dialog, IDC_TESTPATTERN_BYTES, Widen(ImageBytesText(chosen)).c_str());
                return TRUE;
            }
            break;
        }
        default:
            break;
        }
        return FALSE;
    });
}

INT_PTR CALLBACK CompressionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    return GuardedDialog(dialog, [&]() -> INT_PTR {
        switch (message) {
        case WM_INITDIALOG: {
            const std::wstring entry = Widen(LoadText(strings::kPatternUncompressed));
            SendDlgItemMessageW(dialog, IDC_TESTPATTERN_CODEC, CB_ADDSTRING, 0,
                                reinterpret_cast<LPARAM>(entry.c_str()));
            SendDlgItemMessageW(dialog, IDC_TESTPATTERN_CODEC, CB_SETCURSEL, 0, 0);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
        }
        return FALSE;
    });
}

}  // namespace

bool RunPatternDialog(HINSTANCE instance, HWND captureWindow, CaptureWindowState& state, int templateId) {
    DLGPROC procedure = nullptr;
    switch (templateId) {
    case IDD_TESTPATTERN_SOURCE:
        procedure = SourceDialogProc;
        break;
    case IDD_TESTPATTERN_FORMAT:
        procedure = FormatDialogProc;
        break;
    case IDD_TESTPATTERN_COMPRESSION:
        procedure = CompressionDialogProc;
        break;
    default:
        return false;
    }
    DialogContext context{captureWindow, &state};
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(templateId), GetAncestor(captureWindow, GA_ROOT),
                                           procedure, reinterpret_cast<LPARAM>(&context));
    return result == IDOK || result == IDCANCEL;
}

}  // namespace kestrova
