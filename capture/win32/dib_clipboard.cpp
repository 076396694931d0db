#include "capture/win32/dib_clipboard.h"

#include "capture/pattern_device/pattern_model.h"
#include "platform/win32_handles.h"

#include <cstring>
#include <vector>

namespace kestrova {

bool PutFrameOnClipboard(HWND owner, const DibFrame& frame) {
    const std::vector<std::uint8_t> dib = PackedDibBytes(frame);
    if (dib.empty()) return false;
    GlobalMemory memory(GlobalAlloc(GMEM_MOVEABLE, dib.size()));
    if (!memory) return false;
    {
        const GlobalLockGuard bytes(memory.get());
        if (bytes.get() == nullptr) return false;
        std::memcpy(bytes.get(), dib.data(), dib.size());
    }
    const OpenedClipboard clipboard(owner);
    if (!clipboard || !EmptyClipboard() || SetClipboardData(CF_DIB, memory.get()) == nullptr) return false;
    // The clipboard owns the memory now.
    memory.release();
    return true;
}

}  // namespace kestrova
