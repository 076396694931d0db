// Scoped owners of Win32 handles and GDI objects (Windows build only). Each
// gives back its resource when it goes out of scope, on every path out.
#pragma once
#ifdef _WIN32

#include <windows.h>

#include <utility>

namespace kestrova {

// A resource handle with its release function; `Traits` names the empty
// value(s) and the call that gives the handle back.
template <typename Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    ~UniqueResource() { Close(); }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    Handle get() const { return handle_; }
    explicit operator bool() const { return !Traits::IsEmpty(handle_); }
    // Gives up ownership without releasing.
    Handle release() { return std::exchange(handle_, Traits::Empty()); }
    void reset(Handle handle = Traits::Empty()) {
        Close();
        handle_ = handle;
    }
    // Releases now: false when the system reports a failure (nothing owned
    // counts as success).
    bool Close() {
        if (Traits::IsEmpty(handle_)) return true;
        return Traits::Release(std::exchange(handle_, Traits::Empty()));
    }

private:
    Handle handle_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsEmpty(Handle h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static bool Release(Handle h) { return CloseHandle(h) != 0; }
};
struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static bool IsEmpty(Handle h) { return h == nullptr || h == INVALID_HANDLE_VALUE; }
    static bool Release(Handle h) { return FindClose(h) != 0; }
};
// A handle that is empty when null and given back by one call that returns
// nonzero on success.
template <typename H, auto ReleaseCall>
struct NullHandleTraits {
    using Handle = H;
    static Handle Empty() { return nullptr; }
    static bool IsEmpty(Handle h) { return h == nullptr; }
    static bool Release(Handle h) { return ReleaseCall(h) != 0; }
};
template <typename T>
using GdiObjectTraits = NullHandleTraits<T, &DeleteObject>;
using MenuTraits = NullHandleTraits<HMENU, &DestroyMenu>;
using ModuleTraits = NullHandleTraits<HMODULE, &FreeLibrary>;
using WindowTraits = NullHandleTraits<HWND, &DestroyWindow>;
// A mutex this thread may own: released (a call that fails and changes
// nothing when the thread is not its owner), then closed.
struct OwnedMutexTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static bool IsEmpty(Handle h) { return h == nullptr; }
    static bool Release(Handle h) {
        ReleaseMutex(h);
        return CloseHandle(h) != 0;
    }
};
struct GlobalMemoryTraits {
    using Handle = HGLOBAL;
    static Handle Empty() { return nullptr; }
    static bool IsEmpty(Handle h) { return h == nullptr; }
    static bool Release(Handle h) { return GlobalFree(h) == nullptr; }
};

// A kernel handle (file, token, event...): CloseHandle.
using UniqueHandle = UniqueResource<KernelHandleTraits>;
// A FindFirstFile search: FindClose.
using FindHandle = UniqueResource<FindHandleTraits>;
// A font, brush, pen or bitmap: DeleteObject.
template <typename T>
using GdiObject = UniqueResource<GdiObjectTraits<T>>;
// A menu that no window owns (one loaded for a pop-up): DestroyMenu.
using UniqueMenu = UniqueResource<MenuTraits>;
// A library loaded for one call: FreeLibrary.
using UniqueModule = UniqueResource<ModuleTraits>;
// A window this code made and ends (a modeless dialog): DestroyWindow.
using UniqueWindow = UniqueResource<WindowTraits>;
// A named mutex held for the life of the run: ReleaseMutex, CloseHandle.
using OwnedMutex = UniqueResource<OwnedMutexTraits>;
// Movable global memory until someone else (the clipboard) takes it: GlobalFree.
using GlobalMemory = UniqueResource<GlobalMemoryTraits>;

// An object selected into a device context; the previous one comes back.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() {
        if (previous_ != nullptr && previous_ != HGDI_ERROR) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// BeginPaint and EndPaint around the handling of WM_PAINT.
class PaintDC {
public:
    explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    ~PaintDC() { EndPaint(window_, &paint_); }
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// The bytes of movable global memory while they are locked.
class GlobalLockGuard {
public:
    explicit GlobalLockGuard(HGLOBAL memory) : memory_(memory), bytes_(GlobalLock(memory)) {}
    ~GlobalLockGuard() {
        if (bytes_ != nullptr) GlobalUnlock(memory_);
    }
    GlobalLockGuard(const GlobalLockGuard&) = delete;
    GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
    void* get() const { return bytes_; }

private:
    HGLOBAL memory_;
    void* bytes_;
};

// The clipboard, open for this window until the end of the scope.
class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) : open_(OpenClipboard(owner) != 0) {}
    ~OpenedClipboard() {
        if (open_) CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    explicit operator bool() const { return open_; }

private:
    bool open_;
};

}  // namespace kestrova

#endif  // _WIN32
