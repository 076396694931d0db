// kdriver: drives Kestrova's windows from outside for the end-to-end tests.
//
// A console program run under the same Wine prefix and desktop as
// Kestrova.exe. Each call does one thing and prints the result on stdout in
// UTF-8, whatever the locale's code page. Exit status: 0 done, 1 failed or
// timed out (one line on stderr says why), 2 bad usage. Timeouts are in ms
// (default 10000).
//
//   wait-window SEL [--visible] [T]  hwnd in hex, once such a window exists
//   wait-gone SEL [--visible] [T]    returns once none is left
//   title SEL                        the window text
//   menu SEL [--init] [T]            the menu bar, one item a line:
//                                    path (1-based, "2.5.1") id|- flags text;
//                                    --init sends WM_INITMENU and, before
//                                    each popup is read, WM_INITMENUPOPUP
//   post-command SEL ID              PostMessage WM_COMMAND(ID)
//   post SEL MESSAGE [WPARAM]        PostMessage MESSAGE(WPARAM, 0)
//   send-command SEL ID [T]          the same, sent, waiting for the handler
//   close SEL                        PostMessage WM_CLOSE
//   sync SEL [T]                     sends WM_NULL (posted messages before it
//                                    are handled by then)
//   box CAPTION [T]                  a dialog's "text" and "button" lines
//   answer CAPTION yes|no|ok|cancel|ID [T]
//                                    presses the button; waits till it closes
//   children SEL                     id class visible x,y,w,h text
//   controls SEL EXE TEMPLATE        a dialog's own controls in template order:
//                                    first "base BX BY" (pixels of 4 by 8
//                                    dialog units: MapDialogRect on a hidden
//                                    twin made here from the template TEMPLATE
//                                    of EXE, since it does not work across
//                                    processes), then
//                                    id class style exstyle x,y,w,h text
//   rect SEL, style SEL              window/client rects; GWL_(EX)STYLE
//   key SEL [--post] COMBO           ctrl+shift+c, alt+f4, f5, enter... by
//                                    SendInput to the foreground window
//                                    (--post: WM_KEYDOWN/UP with the modifier
//                                    state set on the window's thread)
//   status SEL [PART]                status bar texts
//   menu-select SEL ID|close         sends WM_MENUSELECT as when the user
//                                    highlights the item ID of the menu bar,
//                                    or as when the menu closes
//   click SEL ID, set-text SEL ID T  BM_CLICK (posted) / WM_SETTEXT on a child
//   items SEL ID                     a combo or list box child's items, one a line
//   combo-select SEL ID ITEM         picks item ITEM (from 0) of a combo box child
//   list-view SEL ID                 a list view child: "column WIDTH FMT TEXT"
//                                    lines, then "row SELECTED TEXT..." lines
//                                    (SELECTED 1 or 0, one text per column)
//   list-select SEL ID ROW           gives row ROW (from 0) the selection
//                                    mark and the focus, as a click does
//   control SEL ID                   a child's state, a line each: "text T",
//                                    "enabled 0|1", and by kind "checked 0|1|2"
//                                    (buttons), "limit N" (edits), "selection N"
//                                    (list boxes, -1 for none), "buddy ID"
//                                    and "range LOW HIGH" (up-downs)
//   count SEL, windows, codepage     how many; every top-level window; ACP
//   dpi SEL                          "window N" (GetDpiForWindow), "awareness
//                                    N" (the window's: 0 unaware, 1 system,
//                                    2 per monitor), "system N" and
//                                    "logpixels N" (the screen's LOGPIXELSY)
//   dpi-changed SEL DPI X,Y,W,H      sends WM_DPICHANGED(DPI) with that
//                                    suggested rectangle, which is placed in
//                                    the window's process (the message is
//                                    not marshalled); waits for the handler
//   show-box CAPTION TEXT [yesno|ok|okcancel]
//                                    kdriver's own message box (prints the
//                                    button id), to check the bench itself
//
// SEL: "CLASS" picks a top-level window of that class (visible ones first),
// "CLASS:TITLE" also needs that exact window text. Record lines are tab
// separated; in their free-text field a backslash, tab, CR and LF are
// written as \\, \t, \r and \n. Commands that print a single text (title,
// status with a part number) print it raw.
//
// Menus live in the memory of the process that owns them, and Wine does not
// read another process's menu. So when GetMenuItemCount fails on a foreign
// menu, kdriver maps itself into the owner (LoadLibraryW in a remote
// thread), relocates that copy and binds its imports, runs the same dump
// there in a second remote thread on a block allocated in the owner, and
// reads the block back.

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32_handles.h"

namespace {

using kestrova::UniqueHandle;

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr DWORD kPollMs = 25;
constexpr UINT kSendTimeoutMs = 5000;

// --- output -----------------------------------------------------------------

void WriteUtf8(DWORD which, const std::wstring& text) {
    if (text.empty()) {
        return;
    }
    const int len = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    if (len <= 0) {
        return;
    }
    std::string bytes(static_cast<size_t>(len), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), len,
                        nullptr, nullptr);
    HANDLE h = GetStdHandle(which);
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                       nullptr) ||
            wrote == 0) {
            return;
        }
        done += wrote;
    }
}

void Out(const std::wstring& line) { WriteUtf8(STD_OUTPUT_HANDLE, line + L"\n"); }

int Fail(const std::wstring& reason) {
    WriteUtf8(STD_ERROR_HANDLE, L"kdriver: " + reason + L"\n");
    return 1;
}

std::wstring Hex(uintptr_t value, int digits = 8) {
    wchar_t buf[32];
    // unsigned long has 32 bits on 64-bit Windows too: a window handle needs all 64.
    swprintf(buf, 32, L"0x%0*llx", digits, static_cast<unsigned long long>(value));
    return buf;
}

std::wstring Escape(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'\t': out += L"\\t"; break;
        case L'\r': out += L"\\r"; break;
        case L'\n': out += L"\\n"; break;
        default: out += c; break;
        }
    }
    return out;
}

bool ParseUInt(const wchar_t* text, DWORD& value) {
    if (text == nullptr || *text == L'\0') {
        return false;
    }
    wchar_t* end = nullptr;
    const unsigned long v = wcstoul(text, &end, 0);
    if (end == nullptr || *end != L'\0') {
        return false;
    }
    value = static_cast<DWORD>(v);
    return true;
}

// --- finding windows --------------------------------------------------------

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

// Window text of a window of any process. WM_GETTEXT is marshalled between
// processes; the timeout keeps a hung owner from hanging us.
std::wstring TextOf(HWND hwnd) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len)) {
        wchar_t buf[1024] = {};
        InternalGetWindowText(hwnd, buf, 1024);
        return buf;
    }
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &got);
    return std::wstring(buf.data());
}

struct Selector {
    std::wstring cls;
    bool hasTitle = false;
    std::wstring title;
};

Selector ParseSelector(const std::wstring& text) {
    Selector s;
    const size_t colon = text.find(L':');
    if (colon == std::wstring::npos) {
        s.cls = text;
    } else {
        s.cls = text.substr(0, colon);
        s.hasTitle = true;
        s.title = text.substr(colon + 1);
    }
    return s;
}

bool Matches(HWND hwnd, const Selector& sel) {
    if (CompareStringOrdinal(ClassOf(hwnd).c_str(), -1, sel.cls.c_str(), -1, TRUE) != CSTR_EQUAL) {
        return false;
    }
    return !sel.hasTitle || TextOf(hwnd) == sel.title;
}

struct FindState {
    const Selector* sel;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTop(HWND hwnd, LPARAM param) {
    auto* state = reinterpret_cast<FindState*>(param);
    if (Matches(hwnd, *state->sel)) {
        state->found.push_back(hwnd);
    }
    return TRUE;
}

std::vector<HWND> FindAll(const Selector& sel) {
    FindState state{&sel, {}};
    EnumWindows(CollectTop, reinterpret_cast<LPARAM>(&state));
    return state.found;
}

HWND FindTop(const Selector& sel, bool visibleOnly = false) {
    HWND hidden = nullptr;
    for (HWND h : FindAll(sel)) {
        if (IsWindowVisible(h)) {
            return h;
        }
        if (hidden == nullptr) {
            hidden = h;
        }
    }
    return visibleOnly ? nullptr : hidden;
}

std::wstring Describe(const Selector& sel) {
    return sel.hasTitle ? sel.cls + L" \"" + sel.title + L"\"" : sel.cls;
}

// Polls until a matching window exists (and shows, when asked).
HWND WaitFor(const Selector& sel, DWORD timeoutMs, bool visibleOnly) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (HWND h = FindTop(sel, visibleOnly)) {
            return h;
        }
        if (GetTickCount64() >= end) {
            return nullptr;
        }
        Sleep(kPollMs);
    }
}

// --- menus ------------------------------------------------------------------

// Filled in by DumpMenus, in this process or (through a remote thread) in
// the window's own process; so no pointers in it besides the window.
struct MenuDump {
    HWND hwnd;
    // Where RemoteDumpMenus lies in the window's process (for a remote
    // dump): the copy there checks its relocation against it first.
    ULONG_PTR remoteEntry;
    DWORD init;
    DWORD timeoutMs;
    DWORD error;  // 0, or where the dump failed
    DWORD used;   // characters in text
    DWORD overflow;
    WCHAR text[60000];
};

constexpr DWORD kMenuNoMenu = 1;
constexpr DWORD kMenuUnreadable = 2;
constexpr DWORD kMenuNotRelocated = 3;

void Put(MenuDump& d, const WCHAR* s) {
    for (; *s != L'\0'; ++s) {
        if (d.used + 1 >= sizeof(d.text) / sizeof(d.text[0])) {
            d.overflow = 1;
            return;
        }
        d.text[d.used++] = *s;
    }
    d.text[d.used] = L'\0';
}

void PutEscaped(MenuDump& d, const WCHAR* s) {
    for (; *s != L'\0'; ++s) {
        switch (*s) {
        case L'\\': Put(d, L"\\\\"); break;
        case L'\t': Put(d, L"\\t"); break;
        case L'\r': Put(d, L"\\r"); break;
        case L'\n': Put(d, L"\\n"); break;
        default: {
            const WCHAR c[2] = {*s, L'\0'};
            Put(d, c);
        }
        }
    }
}

void PutNumber(MenuDump& d, UINT value) {
    WCHAR buf[16];
    int i = 15;
    buf[i] = L'\0';
    do {
        buf[--i] = static_cast<WCHAR>(L'0' + value % 10);
        value /= 10;
    } while (value != 0 && i > 0);
    Put(d, buf + i);
}

struct MenuPath {
    UINT pos[8];
    int depth;
};

// An item's state and kind: "enabled", "grayed" or "disabled", then
// ",checked", ",popup"... as they apply.
void PutFlags(MenuDump& d, const MENUITEMINFOW& mii) {
    if ((mii.fState & MF_GRAYED) != 0) {
        Put(d, L"grayed");
    } else if ((mii.fState & MF_DISABLED) != 0) {
        Put(d, L"disabled");
    } else {
        Put(d, L"enabled");
    }
    if ((mii.fState & MFS_CHECKED) != 0) Put(d, L",checked");
    if (mii.hSubMenu != nullptr) Put(d, L",popup");
    if ((mii.fType & MFT_SEPARATOR) != 0) Put(d, L",separator");
    if ((mii.fState & MFS_DEFAULT) != 0) Put(d, L",default");
    if ((mii.fType & MFT_RADIOCHECK) != 0) Put(d, L",radio");
    if ((mii.fType & MFT_OWNERDRAW) != 0) Put(d, L",ownerdraw");
}

// One line: path, id (or "-"), flags, text. `position` is 1-based.
void PutItem(MenuDump& d, const MenuPath& path, UINT position, const MENUITEMINFOW& mii, const WCHAR* text) {
    for (int k = 0; k < path.depth; ++k) {
        PutNumber(d, path.pos[k]);
        Put(d, L".");
    }
    PutNumber(d, position);
    Put(d, L"\t");
    if (mii.hSubMenu != nullptr || (mii.fType & MFT_SEPARATOR) != 0) {
        Put(d, L"-");
    } else {
        PutNumber(d, mii.wID);
    }
    Put(d, L"\t");
    PutFlags(d, mii);
    Put(d, L"\t");
    PutEscaped(d, text);
    Put(d, L"\n");
}

void DumpPopup(MenuDump& d, HMENU menu, MenuPath& path) {
    const int count = GetMenuItemCount(menu);
    if (count < 0) {
        d.error = kMenuUnreadable;
        return;
    }
    for (int i = 0; i < count && d.overflow == 0; ++i) {
        WCHAR text[512] = {};
        MENUITEMINFOW mii = {};
        mii.cbSize = sizeof(mii);
        mii.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        mii.dwTypeData = text;
        mii.cch = 511;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &mii)) {
            d.error = kMenuUnreadable;
            return;
        }
        PutItem(d, path, static_cast<UINT>(i + 1), mii, text);
        if (mii.hSubMenu != nullptr && path.depth < 8) {
            if (d.init != 0) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutW(d.hwnd, WM_INITMENUPOPUP,
                                    reinterpret_cast<WPARAM>(mii.hSubMenu),
                                    MAKELPARAM(static_cast<WORD>(i), FALSE), SMTO_NORMAL,
                                    d.timeoutMs, &ignored);
            }
            path.pos[path.depth++] = static_cast<UINT>(i + 1);
            DumpPopup(d, mii.hSubMenu, path);
            --path.depth;
            if (d.error != 0) {
                return;
            }
        }
    }
}

void DumpMenus(MenuDump& d) {
    d.used = 0;
    d.overflow = 0;
    d.error = 0;
    d.text[0] = L'\0';
    HMENU bar = GetMenu(d.hwnd);
    if (bar == nullptr) {
        d.error = kMenuNoMenu;
        return;
    }
    if (d.init != 0) {
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(d.hwnd, WM_INITMENU, reinterpret_cast<WPARAM>(bar), 0, SMTO_NORMAL,
                            d.timeoutMs, &ignored);
    }
    MenuPath path = {};
    DumpPopup(d, bar, path);
}

DWORD WINAPI RemoteDumpMenus(LPVOID param);

// Read at run time, not built into the code: the value comes from a
// relocation site, so it is right only in a copy relocated right.
const volatile LPTHREAD_START_ROUTINE kRelocatedEntry = RemoteDumpMenus;

// Entry point of the remote thread, started by its address in the window's
// process (see DumpMenusRemote). 64-bit code reaches its data relative to
// where it runs, so a copy that was not relocated right gets this far; it
// stops here rather than crash the window's process at the first absolute
// address it meets.
DWORD WINAPI RemoteDumpMenus(LPVOID param) {
    auto& dump = *static_cast<MenuDump*>(param);
    if (reinterpret_cast<ULONG_PTR>(kRelocatedEntry) != dump.remoteEntry) {
        dump.error = kMenuNotRelocated;
        return 0;
    }
    DumpMenus(dump);
    return 0;
}

// --- running code inside the window's process -------------------------------

std::wstring BaseName(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring Lower(std::wstring text) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    return text;
}

// Loaded modules of another process, by lower-case file name.
struct RemoteModules {
    std::vector<std::pair<std::wstring, uintptr_t>> list;

    bool Load(DWORD pid) {
        list.clear();
        const UniqueHandle snap(CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid));
        if (!snap) {
            return false;
        }
        MODULEENTRY32W me = {};
        me.dwSize = sizeof(me);
        for (BOOL ok = Module32FirstW(snap.get(), &me); ok; ok = Module32NextW(snap.get(), &me)) {
            list.emplace_back(Lower(me.szModule), reinterpret_cast<uintptr_t>(me.modBaseAddr));
        }
        return !list.empty();
    }

    uintptr_t Base(const std::wstring& name) const {
        const std::wstring key = Lower(name);
        const auto it = std::find_if(list.begin(), list.end(),
                                     [&key](const auto& m) { return m.first == key; });
        return it == list.end() ? 0 : it->second;
    }
};

// The module holding `local` in this process: its base and file name.
bool LocalModule(const void* local, uintptr_t& base, std::wstring& name) {
    HMODULE mod = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(local), &mod)) {
        return false;
    }
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(mod, path, MAX_PATH);
    base = reinterpret_cast<uintptr_t>(mod);
    name = BaseName(path);
    return true;
}

// Where `local` (code in a system DLL) sits in the process described by
// `modules`; 0 when that DLL is not loaded there.
uintptr_t RemoteAddress(const RemoteModules& modules, const void* local) {
    uintptr_t localBase = 0;
    std::wstring name;
    if (!LocalModule(local, localBase, name)) {
        return 0;
    }
    const uintptr_t base = modules.Base(name);
    return base == 0 ? 0 : base + (reinterpret_cast<uintptr_t>(local) - localBase);
}

// Runs start(param) in a new thread of `process`; true when it returned in
// time. What it returned is not told: a thread's exit code has 32 bits, too
// few for what LoadLibraryW returns in a 64-bit process (the module
// snapshot tells where a module lies).
bool RunRemoteThread(HANDLE process, uintptr_t start, uintptr_t param, DWORD timeoutMs) {
    const UniqueHandle thread(CreateRemoteThread(process, nullptr, 0,
                                                 reinterpret_cast<LPTHREAD_START_ROUTINE>(start),
                                                 reinterpret_cast<LPVOID>(param), 0, nullptr));
    return thread && WaitForSingleObject(thread.get(), timeoutMs) == WAIT_OBJECT_0;
}

// The process that owns `window`, opened with every right (memory, threads,
// waiting); empty when it cannot be opened. `pid`, when given, gets its id.
UniqueHandle OpenOwner(HWND window, DWORD* pid = nullptr) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    if (pid != nullptr) {
        *pid = id;
    }
    return UniqueHandle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, id));
}

// Memory allocated in another process, freed there at the end of the scope.
class RemoteBlock {
public:
    RemoteBlock(HANDLE process, size_t size)
        : process_(process),
          address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (address_ != nullptr && !kept_) {
            VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        }
    }
    // A thread that did not finish may still write into the block: it stays.
    void Keep() { kept_ = true; }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    explicit operator bool() const { return address_ != nullptr; }
    void* get() const { return address_; }
    uintptr_t address() const { return reinterpret_cast<uintptr_t>(address_); }

private:
    HANDLE process_;
    void* address_;
    bool kept_ = false;
};

// A range of another process's memory under another protection for the
// scope; the one it had comes back at the end.
class RemoteProtection {
public:
    RemoteProtection(HANDLE process, void* address, size_t size, DWORD protection)
        : process_(process),
          address_(address),
          size_(size),
          changed_(VirtualProtectEx(process, address, size, protection, &old_) != FALSE) {}
    ~RemoteProtection() {
        if (changed_) {
            VirtualProtectEx(process_, address_, size_, old_, &old_);
        }
    }
    RemoteProtection(const RemoteProtection&) = delete;
    RemoteProtection& operator=(const RemoteProtection&) = delete;

private:
    HANDLE process_;
    void* address_;
    size_t size_;
    DWORD old_ = 0;
    bool changed_;
};

// kdriver's copy loaded into another process: FreeLibrary runs there at the
// end of the scope, unless Keep() told that a thread may still run in it.
class RemoteLibrary {
public:
    RemoteLibrary(HANDLE process, uintptr_t freeLibrary, uintptr_t base)
        : process_(process), freeLibrary_(freeLibrary), base_(base) {}
    ~RemoteLibrary() {
        if (!kept_) {
            RunRemoteThread(process_, freeLibrary_, base_, kSendTimeoutMs);
        }
    }
    RemoteLibrary(const RemoteLibrary&) = delete;
    RemoteLibrary& operator=(const RemoteLibrary&) = delete;
    uintptr_t base() const { return base_; }
    void Keep() { kept_ = true; }

private:
    HANDLE process_;
    uintptr_t freeLibrary_;
    uintptr_t base_;
    bool kept_ = false;
};

// The bytes a base relocation of `type` rewrites: an address of 32 bits
// (HIGHLOW, the relocations of a 32-bit image) or of 64 (DIR64, a 64-bit
// image's); 0 for ABSOLUTE, which only pads a block; nothing for the kinds
// no x86 or x64 image of ours has.
std::optional<size_t> SiteBytes(WORD type) {
    switch (type) {
    case IMAGE_REL_BASED_ABSOLUTE: return 0;
    case IMAGE_REL_BASED_HIGHLOW: return sizeof(std::uint32_t);
    case IMAGE_REL_BASED_DIR64: return sizeof(std::uint64_t);
    default: return std::nullopt;
    }
}

// kdriver's own image, as loaded in this process.
const BYTE* OwnImage() { return reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr)); }

const IMAGE_DATA_DIRECTORY& OwnDirectory(int which) {
    const BYTE* base = OwnImage();
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    return nt->OptionalHeader.DataDirectory[which];
}

// LoadLibraryW maps an .exe as data for code: Wine neither relocates it
// (it lands away from its preferred base, where the window's own .exe is)
// nor binds its imports. kdriver does both itself, from its own image: the
// relocation sites get the delta between where kdriver's code expects to be
// and where it was mapped there.
class RemoteRelocation {
public:
    RemoteRelocation(HANDLE process, uintptr_t remoteSelf) : process_(process), remoteSelf_(remoteSelf) {}

    // An error text, or "" once the copy is relocated.
    std::wstring Apply() {
        const IMAGE_DATA_DIRECTORY& dir = OwnDirectory(IMAGE_DIRECTORY_ENTRY_BASERELOC);
        if (dir.VirtualAddress == 0 || dir.Size == 0) {
            return L"kdriver was linked without relocations";
        }
        const BYTE* pos = localBase_ + dir.VirtualAddress;
        const BYTE* const end = pos + dir.Size;
        while (pos + sizeof(IMAGE_BASE_RELOCATION) <= end) {
            const auto* block = reinterpret_cast<const IMAGE_BASE_RELOCATION*>(pos);
            if (block->SizeOfBlock < sizeof(IMAGE_BASE_RELOCATION)) {
                break;
            }
            bool loaderDidIt = false;
            std::wstring err = Block(*block, loaderDidIt);
            if (!err.empty() || loaderDidIt) {
                return err;
            }
            pos += block->SizeOfBlock;
        }
        return L"";
    }

private:
    // One page per block, plus a site may run 7 bytes past it.
    static constexpr size_t kSpan = 4096 + sizeof(std::uint64_t);

    // Relocates the sites of one block (one page). `loaderDidIt` tells that
    // the first sites needed no change: the loader relocated the copy.
    std::wstring Block(const IMAGE_BASE_RELOCATION& block, bool& loaderDidIt) {
        const auto* entries = reinterpret_cast<const WORD*>(&block + 1);
        const size_t count = (block.SizeOfBlock - sizeof(IMAGE_BASE_RELOCATION)) / sizeof(WORD);
        size_t span = 0;
        for (size_t i = 0; i < count; ++i) {
            const std::optional<size_t> bytes = SiteBytes(static_cast<WORD>(entries[i] >> 12));
            if (!bytes) {
                return L"kdriver has a relocation of type " + std::to_wstring(entries[i] >> 12) +
                       L", which it cannot apply";
            }
            if (*bytes > 0) {
                span = std::max<size_t>(span, (entries[i] & 0xfff) + *bytes);
            }
        }
        if (span == 0) {
            return L"";
        }
        BYTE page[kSpan] = {};
        auto* remotePage = reinterpret_cast<void*>(remoteSelf_ + block.VirtualAddress);
        const RemoteProtection writable(process_, remotePage, span, PAGE_EXECUTE_READWRITE);
        if (!ReadProcessMemory(process_, remotePage, page, span, nullptr)) {
            return L"cannot read kdriver's image in the window's process";
        }
        Patch(page, block.VirtualAddress, entries, count);
        if (!WriteProcessMemory(process_, remotePage, page, span, nullptr)) {
            return L"cannot relocate kdriver in the window's process";
        }
        loaderDidIt = delta_ == 0;
        return L"";
    }

    // Adds the delta to the block's sites in `page` (read from the copy).
    // Site values and the delta have 64 bits; a 32-bit site keeps the low half.
    void Patch(BYTE* page, DWORD pageRva, const WORD* entries, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            const size_t bytes = SiteBytes(static_cast<WORD>(entries[i] >> 12)).value_or(0);
            if (bytes == 0) {
                continue;
            }
            const size_t offset = entries[i] & 0xfff;
            std::uint64_t remoteValue = 0;
            std::uint64_t localValue = 0;
            memcpy(&remoteValue, page + offset, bytes);
            memcpy(&localValue, localBase_ + pageRva + offset, bytes);
            if (!haveDelta_) {
                // The first site is code, unchanged since loading here.
                delta_ = localValue - reinterpret_cast<uintptr_t>(localBase_) + remoteSelf_ - remoteValue;
                haveDelta_ = true;
            }
            remoteValue += delta_;
            memcpy(page + offset, &remoteValue, bytes);
        }
    }

    HANDLE process_;
    uintptr_t remoteSelf_;
    const BYTE* localBase_ = OwnImage();
    bool haveDelta_ = false;
    std::uint64_t delta_ = 0;
};

// The window's process, as the remote menu dump works in it.
struct RemoteTarget {
    HANDLE process = nullptr;
    DWORD pid = 0;
    RemoteModules modules;
    uintptr_t loadLibrary = 0;  // LoadLibraryW there
};

// Where the import `local` of kdriver lies in the target, loading its DLL
// there first when needed; 0 (and `err` says why) when it cannot.
uintptr_t BindImport(RemoteTarget& target, const void* local, std::wstring& err) {
    uintptr_t remote = RemoteAddress(target.modules, local);
    if (remote != 0) {
        return remote;
    }
    uintptr_t ignoredBase = 0;
    std::wstring dll;
    if (!LocalModule(local, ignoredBase, dll)) {
        err = L"an import of kdriver is in no module";
        return 0;
    }
    const size_t bytes = (dll.size() + 1) * sizeof(wchar_t);
    const RemoteBlock name(target.process, bytes);
    if (!name || !WriteProcessMemory(target.process, name.get(), dll.c_str(), bytes, nullptr) ||
        !RunRemoteThread(target.process, target.loadLibrary, name.address(), kSendTimeoutMs) ||
        !target.modules.Load(target.pid)) {
        err = L"cannot load " + dll + L" into the window's process";
        return 0;
    }
    remote = RemoteAddress(target.modules, local);
    if (remote == 0) {
        err = L"cannot find " + dll + L" in the window's process";
    }
    return remote;
}

// Fills the import address table of kdriver's copy in the other process:
// each entry points into the same system DLL as here, at the base that DLL
// has there (loading the DLL there first when needed).
std::wstring BindRemoteImports(RemoteTarget& target, uintptr_t remoteSelf) {
    const BYTE* localBase = OwnImage();
    const IMAGE_DATA_DIRECTORY& dir = OwnDirectory(IMAGE_DIRECTORY_ENTRY_IMPORT);
    if (dir.VirtualAddress == 0) {
        return L"";
    }
    for (const auto* desc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(localBase + dir.VirtualAddress);
         desc->Name != 0; ++desc) {
        const auto* iat = reinterpret_cast<const uintptr_t*>(localBase + desc->FirstThunk);
        std::vector<uintptr_t> bound;
        for (size_t i = 0; iat[i] != 0; ++i) {
            std::wstring err;
            const uintptr_t remote = BindImport(target, reinterpret_cast<const void*>(iat[i]), err);
            if (remote == 0) {
                return err;
            }
            bound.push_back(remote);
        }
        if (bound.empty()) {
            continue;
        }
        auto* table = reinterpret_cast<void*>(remoteSelf + desc->FirstThunk);
        const SIZE_T bytes = bound.size() * sizeof(uintptr_t);
        const RemoteProtection writable(target.process, table, bytes, PAGE_READWRITE);
        if (!WriteProcessMemory(target.process, table, bound.data(), bytes, nullptr)) {
            return L"cannot bind kdriver's imports in the window's process";
        }
    }
    return L"";
}

// Runs RemoteDumpMenus in kdriver's relocated and bound copy on `block`
// and reads `dump` back from it.
std::wstring RunRemoteDump(HANDLE process, RemoteLibrary& copy, RemoteBlock& block, MenuDump& dump) {
    const uintptr_t localBase = reinterpret_cast<uintptr_t>(OwnImage());
    const uintptr_t entry = copy.base() + (reinterpret_cast<uintptr_t>(&RemoteDumpMenus) - localBase);
    dump.remoteEntry = entry;
    if (!WriteProcessMemory(process, block.get(), &dump, offsetof(MenuDump, text) + sizeof(WCHAR), nullptr)) {
        return L"cannot write into the window's process";
    }
    if (!RunRemoteThread(process, entry, block.address(), dump.timeoutMs * 4 + kSendTimeoutMs)) {
        copy.Keep();  // the dump may still be running in it, and writing its block
        block.Keep();
        return L"the menu dump in the window's process did not finish";
    }
    if (!ReadProcessMemory(process, block.get(), &dump, sizeof(MenuDump), nullptr)) {
        return L"cannot read the menu dump back";
    }
    return L"";
}

// Dumps the menu from inside the owner process. Returns an error text, or
// an empty string when `dump` was filled.
std::wstring DumpMenusRemote(HWND hwnd, MenuDump& dump) {
    RemoteTarget target;
    const UniqueHandle process = OpenOwner(hwnd, &target.pid);
    target.process = process.get();
    if (!process || !target.modules.Load(target.pid)) {
        return L"cannot open the window's process";
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const size_t selfBytes = (wcslen(self) + 1) * sizeof(wchar_t);
    const RemoteBlock name(target.process, selfBytes);
    RemoteBlock block(target.process, sizeof(MenuDump));
    if (!name || !block || !WriteProcessMemory(target.process, name.get(), self, selfBytes, nullptr)) {
        return L"cannot write into the window's process";
    }
    HMODULE k32 = GetModuleHandleW(L"kernel32.dll");
    target.loadLibrary =
        RemoteAddress(target.modules, reinterpret_cast<const void*>(GetProcAddress(k32, "LoadLibraryW")));
    const uintptr_t remoteFree =
        RemoteAddress(target.modules, reinterpret_cast<const void*>(GetProcAddress(k32, "FreeLibrary")));
    if (target.loadLibrary == 0 || remoteFree == 0 ||
        !RunRemoteThread(target.process, target.loadLibrary, name.address(), kSendTimeoutMs) ||
        !target.modules.Load(target.pid)) {
        return L"cannot load kdriver into the window's process";
    }
    // The copy's base, by kdriver's file name: it may lie above 4 GB.
    const uintptr_t remoteSelf = target.modules.Base(BaseName(self));
    if (remoteSelf == 0) {
        return L"cannot find kdriver in the window's process";
    }
    RemoteLibrary copy(target.process, remoteFree, remoteSelf);
    std::wstring err = RemoteRelocation(target.process, remoteSelf).Apply();
    if (err.empty()) {
        err = BindRemoteImports(target, remoteSelf);
    }
    return err.empty() ? RunRemoteDump(target.process, copy, block, dump) : err;
}

int CmdMenu(HWND hwnd, bool init, DWORD timeoutMs) {
    auto dump = std::make_unique<MenuDump>();
    dump->hwnd = hwnd;
    dump->init = init ? 1 : 0;
    dump->timeoutMs = timeoutMs;
    HMENU bar = GetMenu(hwnd);
    if (bar == nullptr) {
        return Fail(L"the window has no menu bar");
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == GetCurrentProcessId() || GetMenuItemCount(bar) >= 0) {
        DumpMenus(*dump);
    } else {
        const std::wstring err = DumpMenusRemote(hwnd, *dump);
        if (!err.empty()) {
            return Fail(err);
        }
    }
    if (dump->error != 0) {
        return Fail(dump->error == kMenuNoMenu         ? L"the window has no menu bar"
                    : dump->error == kMenuNotRelocated ? L"kdriver's copy in the window's process is "
                                                         L"not relocated right"
                                                       : L"cannot read the menu");
    }
    if (dump->overflow != 0) {
        return Fail(L"the menu is too large to dump");
    }
    WriteUtf8(STD_OUTPUT_HANDLE, std::wstring(dump->text, dump->used));
    return 0;
}

// --- keys -------------------------------------------------------------------

struct KeyCombo {
    std::vector<WORD> modifiers;
    WORD key = 0;
};

struct NamedKey {
    const wchar_t* name;
    WORD vk;
};

bool ParseKey(const std::wstring& name, WORD& vk) {
    static const NamedKey named[] = {
        {L"enter", VK_RETURN},    {L"return", VK_RETURN},  {L"esc", VK_ESCAPE},
        {L"escape", VK_ESCAPE},   {L"tab", VK_TAB},        {L"space", VK_SPACE},
        {L"delete", VK_DELETE},   {L"del", VK_DELETE},     {L"insert", VK_INSERT},
        {L"ins", VK_INSERT},      {L"home", VK_HOME},      {L"end", VK_END},
        {L"pageup", VK_PRIOR},    {L"pgup", VK_PRIOR},     {L"pagedown", VK_NEXT},
        {L"pgdn", VK_NEXT},       {L"left", VK_LEFT},      {L"right", VK_RIGHT},
        {L"up", VK_UP},           {L"down", VK_DOWN},      {L"backspace", VK_BACK},
        {L"bs", VK_BACK},         {L"pause", VK_PAUSE},    {L"apps", VK_APPS},
    };
    if (name.size() == 1) {
        const wchar_t c = name[0];
        if (c >= L'a' && c <= L'z') {
            vk = static_cast<WORD>(c - L'a' + 'A');
            return true;
        }
        if ((c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9')) {
            vk = static_cast<WORD>(c);
            return true;
        }
    }
    const NamedKey* found = std::find_if(std::begin(named), std::end(named),
                                         [&name](const NamedKey& n) { return name == n.name; });
    if (found != std::end(named)) {
        vk = found->vk;
        return true;
    }
    if (name.size() >= 2 && name[0] == L'f') {
        DWORD n = 0;
        if (ParseUInt(name.c_str() + 1, n) && n >= 1 && n <= 24) {
            vk = static_cast<WORD>(VK_F1 + n - 1);
            return true;
        }
    }
    DWORD raw = 0;
    if (name.rfind(L"0x", 0) == 0 && ParseUInt(name.c_str(), raw) && raw > 0 && raw < 256) {
        vk = static_cast<WORD>(raw);
        return true;
    }
    return false;
}

bool ParseCombo(std::wstring text, KeyCombo& combo) {
    for (auto& c : text) {
        c = static_cast<wchar_t>(towlower(c));
    }
    size_t start = 0;
    std::vector<std::wstring> parts;
    for (;;) {
        const size_t plus = text.find(L'+', start);
        parts.push_back(text.substr(start, plus == std::wstring::npos ? plus : plus - start));
        if (plus == std::wstring::npos) {
            break;
        }
        start = plus + 1;
    }
    for (size_t i = 0; i + 1 < parts.size(); ++i) {
        const std::wstring& m = parts[i];
        if (m == L"ctrl" || m == L"control") {
            combo.modifiers.push_back(VK_CONTROL);
        } else if (m == L"shift") {
            combo.modifiers.push_back(VK_SHIFT);
        } else if (m == L"alt") {
            combo.modifiers.push_back(VK_MENU);
        } else {
            return false;
        }
    }
    return ParseKey(parts.back(), combo.key);
}

bool IsExtendedKey(WORD vk) {
    switch (vk) {
    case VK_INSERT: case VK_DELETE: case VK_HOME: case VK_END: case VK_PRIOR: case VK_NEXT:
    case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_APPS:
        return true;
    default:
        return false;
    }
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = (up ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(vk) ? KEYEVENTF_EXTENDEDKEY : 0);
    return in;
}

// Waits (within reason) until the window's process went idle, i.e. its
// thread has taken what was just queued for it.
void SettleAfterInput(HWND hwnd) {
    Sleep(50);
    const UniqueHandle process = OpenOwner(hwnd);
    if (process) {
        WaitForInputIdle(process.get(), 1000);
    }
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
}

// Real keyboard input through SendInput: the key goes to the foreground
// window's thread, through its accelerator table, as a user's would.
int SendKeys(HWND hwnd, const KeyCombo& combo) {
    SetForegroundWindow(hwnd);
    const ULONGLONG end = GetTickCount64() + 2000;
    while (GetForegroundWindow() != hwnd && GetTickCount64() < end) {
        Sleep(kPollMs);
        SetForegroundWindow(hwnd);
    }
    HWND fg = GetForegroundWindow();
    if (fg != hwnd && GetAncestor(fg, GA_ROOTOWNER) != hwnd) {
        return Fail(L"cannot bring the window to the foreground");
    }
    std::vector<INPUT> inputs;
    std::transform(combo.modifiers.begin(), combo.modifiers.end(), std::back_inserter(inputs),
                   [](WORD m) { return KeyInput(m, false); });
    inputs.push_back(KeyInput(combo.key, false));
    inputs.push_back(KeyInput(combo.key, true));
    std::transform(combo.modifiers.rbegin(), combo.modifiers.rend(), std::back_inserter(inputs),
                   [](WORD m) { return KeyInput(m, true); });
    const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    if (sent != inputs.size()) {
        return Fail(L"SendInput refused the keys");
    }
    SettleAfterInput(hwnd);
    return 0;
}

// This thread shares the input state (keyboard state, focus) of another
// thread for the scope.
class AttachedInput {
public:
    explicit AttachedInput(DWORD target)
        : self_(GetCurrentThreadId()), target_(target), attached_(AttachThreadInput(self_, target, TRUE) != FALSE) {}
    ~AttachedInput() {
        if (attached_) {
            AttachThreadInput(self_, target_, FALSE);
        }
    }
    AttachedInput(const AttachedInput&) = delete;
    AttachedInput& operator=(const AttachedInput&) = delete;

private:
    DWORD self_;
    DWORD target_;
    bool attached_;
};

// Posted key messages with the modifier state set on the window's thread
// input. A fallback for desktops where SendInput does not arrive.
int PostKeys(HWND hwnd, const KeyCombo& combo) {
    const AttachedInput attached(GetWindowThreadProcessId(hwnd, nullptr));
    BYTE saved[256] = {};
    GetKeyboardState(saved);
    BYTE state[256];
    memcpy(state, saved, sizeof(state));
    bool alt = false;
    for (WORD m : combo.modifiers) {
        state[m] |= 0x80;
        if (m == VK_MENU) {
            alt = true;
            state[VK_LMENU] |= 0x80;
        } else if (m == VK_CONTROL) {
            state[VK_LCONTROL] |= 0x80;
        } else if (m == VK_SHIFT) {
            state[VK_LSHIFT] |= 0x80;
        }
    }
    SetKeyboardState(state);
    const UINT scan = MapVirtualKeyW(combo.key, MAPVK_VK_TO_VSC);
    LPARAM down = 1 | static_cast<LPARAM>(scan << 16);
    if (IsExtendedKey(combo.key)) {
        down |= 1 << 24;
    }
    if (alt) {
        down |= 1 << 29;
    }
    // Previous state down, transition: key up.
    const auto up = static_cast<LPARAM>(static_cast<DWORD>(down) | 0xC0000000u);
    PostMessageW(hwnd, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, combo.key, down);
    PostMessageW(hwnd, alt ? WM_SYSKEYUP : WM_KEYUP, combo.key, up);
    SettleAfterInput(hwnd);
    SetKeyboardState(saved);
    return 0;
}

// --- dialogs and controls ----------------------------------------------------

struct ChildList {
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectChild(HWND hwnd, LPARAM param) {
    reinterpret_cast<ChildList*>(param)->windows.push_back(hwnd);
    return TRUE;
}

std::vector<HWND> Children(HWND parent) {
    ChildList list;
    EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list.windows;
}

bool IsClass(HWND hwnd, const wchar_t* cls) {
    return CompareStringOrdinal(ClassOf(hwnd).c_str(), -1, cls, -1, TRUE) == CSTR_EQUAL;
}

bool IsPushLike(HWND hwnd) {
    if (!IsClass(hwnd, L"Button")) {
        return false;
    }
    const LONG type = GetWindowLongW(hwnd, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

HWND WaitDialog(const std::wstring& caption, DWORD timeoutMs) {
    Selector sel;
    sel.cls = L"#32770";
    sel.hasTitle = true;
    sel.title = caption;
    return WaitFor(sel, timeoutMs, true);
}

int CmdBox(const std::wstring& caption, DWORD timeoutMs) {
    HWND dlg = WaitDialog(caption, timeoutMs);
    if (dlg == nullptr) {
        return Fail(L"no dialog captioned \"" + caption + L"\"");
    }
    std::vector<std::wstring> texts;
    std::vector<std::wstring> buttons;
    for (HWND child : Children(dlg)) {
        if (!IsWindowVisible(child)) {
            continue;
        }
        const std::wstring text = TextOf(child);
        if (IsClass(child, L"Static")) {
            if (!text.empty()) {
                texts.push_back(L"text\t" + Escape(text));
            }
        } else if (IsPushLike(child)) {
            buttons.push_back(L"button\t" + std::to_wstring(GetDlgCtrlID(child)) + L"\t" +
                              Escape(text));
        }
    }
    for (const auto& line : texts) {
        Out(line);
    }
    for (const auto& line : buttons) {
        Out(line);
    }
    return 0;
}

bool ParseButton(const std::wstring& name, DWORD& id) {
    if (name == L"yes") id = IDYES;
    else if (name == L"no") id = IDNO;
    else if (name == L"ok") id = IDOK;
    else if (name == L"cancel") id = IDCANCEL;
    else return ParseUInt(name.c_str(), id);
    return true;
}

int CmdAnswer(const std::wstring& caption, DWORD id, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    HWND dlg = WaitDialog(caption, timeoutMs);
    if (dlg == nullptr) {
        return Fail(L"no dialog captioned \"" + caption + L"\"");
    }
    HWND button = nullptr;
    while ((button = GetDlgItem(dlg, static_cast<int>(id))) == nullptr) {
        if (GetTickCount64() >= end || !IsWindow(dlg)) {
            return Fail(L"the dialog has no control " + std::to_wstring(id));
        }
        Sleep(kPollMs);
    }
    // The dialog procedure sees exactly what a click on the button sends it.
    PostMessageW(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    while (IsWindow(dlg) && IsWindowVisible(dlg)) {
        if (GetTickCount64() >= end) {
            return Fail(L"the dialog stayed open after pressing " + std::to_wstring(id));
        }
        Sleep(kPollMs);
    }
    return 0;
}

std::wstring RectText(const RECT& r) {
    return std::to_wstring(r.left) + L"," + std::to_wstring(r.top) + L"," +
           std::to_wstring(r.right - r.left) + L"," + std::to_wstring(r.bottom - r.top);
}

int CmdChildren(HWND top) {
    for (HWND child : Children(top)) {
        RECT r = {};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, top, reinterpret_cast<POINT*>(&r), 2);
        Out(std::to_wstring(GetDlgCtrlID(child)) + L"\t" + ClassOf(child) + L"\t" +
            (IsWindowVisible(child) ? L"1" : L"0") + L"\t" + RectText(r) + L"\t" +
            Escape(TextOf(child)));
    }
    return 0;
}

INT_PTR CALLBACK TwinProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

// A module loaded here (FreeLibrary), a window made here (DestroyWindow).
using UniqueLibrary = kestrova::UniqueResource<kestrova::NullHandleTraits<HMODULE, &FreeLibrary>>;
using UniqueWindow = kestrova::UniqueResource<kestrova::NullHandleTraits<HWND, &DestroyWindow>>;

// The pixels of 4 by 8 dialog units in the dialog TEMPLATE of EXE, from a
// hidden twin made here. An error text, or "" when `base` is set.
std::wstring TwinBaseUnits(const std::wstring& exe, DWORD templateId, RECT& base) {
    const UniqueLibrary module(LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return L"cannot load " + exe;
    const UniqueWindow twin(CreateDialogParamW(module.get(), MAKEINTRESOURCEW(templateId), nullptr, TwinProc, 0));
    base = RECT{0, 0, 4, 8};
    if (!twin || !MapDialogRect(twin.get(), &base)) return L"no dialog template " + std::to_wstring(templateId);
    return L"";
}

// The direct children of a dialog in z-order, which is the template's order.
int CmdControls(HWND dialog, const std::wstring& exe, DWORD templateId) {
    INITCOMMONCONTROLSEX init{sizeof init, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&init);
    RECT base{};
    const std::wstring err = TwinBaseUnits(exe, templateId, base);
    if (!err.empty()) return Fail(err);
    Out(L"base\t" + std::to_wstring(base.right) + L"\t" + std::to_wstring(base.bottom));
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT r = {};
        GetWindowRect(child, &r);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
        Out(std::to_wstring(static_cast<short>(GetDlgCtrlID(child))) + L"\t" + ClassOf(child) + L"\t" +
            Hex(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE))) + L"\t" +
            Hex(static_cast<DWORD>(GetWindowLongW(child, GWL_EXSTYLE))) + L"\t" + RectText(r) + L"\t" +
            Escape(TextOf(child)));
    }
    return 0;
}

DWORD_PTR SendTo(HWND control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    return result;
}

// One child's state. UDM_GETRANGE32 answers through pointers, which are not
// marshalled: they point into a block allocated in the control's process.
int CmdControl(HWND control) {
    Out(L"text\t" + Escape(TextOf(control)));
    Out(std::wstring(L"enabled\t") + (IsWindowEnabled(control) ? L"1" : L"0"));
    if (IsClass(control, L"Button")) {
        Out(L"checked\t" + std::to_wstring(SendTo(control, BM_GETCHECK)));
    } else if (IsClass(control, L"Edit")) {
        Out(L"limit\t" + std::to_wstring(SendTo(control, EM_GETLIMITTEXT)));
    } else if (IsClass(control, L"ListBox")) {
        Out(L"selection\t" + std::to_wstring(static_cast<int>(SendTo(control, LB_GETCURSEL))));
    } else if (IsClass(control, UPDOWN_CLASSW)) {
        const auto buddy = reinterpret_cast<HWND>(SendTo(control, UDM_GETBUDDY));
        Out(L"buddy\t" + (buddy != nullptr ? std::to_wstring(static_cast<short>(GetDlgCtrlID(buddy))) : L"-"));
        const UniqueHandle process = OpenOwner(control);
        const RemoteBlock range(process.get(), 2 * sizeof(int));
        if (!range) return Fail(L"cannot allocate in the control's process");
        SendTo(control, UDM_GETRANGE32, range.address(), static_cast<LPARAM>(range.address() + sizeof(int)));
        int values[2] = {};
        ReadProcessMemory(process.get(), range.get(), values, sizeof values, nullptr);
        Out(L"range\t" + std::to_wstring(values[0]) + L"\t" + std::to_wstring(values[1]));
    }
    return 0;
}

// Status bar texts. SB_GETTEXTW is not marshalled, so the buffer is
// allocated in the status bar's process.
int CmdStatus(HWND top, int onlyPart) {
    const std::vector<HWND> children = Children(top);
    const auto it = std::find_if(children.begin(), children.end(),
                                 [](HWND child) { return IsClass(child, STATUSCLASSNAMEW); });
    HWND bar = it == children.end() ? nullptr : *it;
    if (bar == nullptr) {
        return Fail(L"the window has no status bar");
    }
    DWORD_PTR parts = 0;
    if (!SendMessageTimeoutW(bar, SB_GETPARTS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &parts)) {
        return Fail(L"the status bar does not answer");
    }
    // A bar in simple mode shows one text, kept apart from the parts'.
    DWORD_PTR simple = 0;
    SendMessageTimeoutW(bar, SB_ISSIMPLE, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &simple);
    std::vector<int> ids;
    if (simple != 0) {
        ids.push_back(SB_SIMPLEID);
    } else {
        for (int part = 0; part < static_cast<int>(std::max<DWORD_PTR>(parts, 1)); ++part) {
            ids.push_back(part);
        }
    }
    if (onlyPart >= static_cast<int>(ids.size())) {
        return Fail(L"the status bar has no part " + std::to_wstring(onlyPart));
    }
    const UniqueHandle process = OpenOwner(bar);
    constexpr size_t kChars = 4096;
    const RemoteBlock buffer(process.get(), kChars * sizeof(wchar_t));
    if (!buffer) {
        return Fail(L"cannot allocate in the status bar's process");
    }
    for (int index = 0; index < static_cast<int>(ids.size()); ++index) {
        if (onlyPart >= 0 && index != onlyPart) {
            continue;
        }
        const auto part = static_cast<WPARAM>(ids[static_cast<size_t>(index)]);
        // The reported length is not trusted (Wine gives 0 for the simple
        // text): the buffer is cleared, filled, and read up to its NUL.
        std::vector<wchar_t> local(kChars, L'\0');
        WriteProcessMemory(process.get(), buffer.get(), local.data(), kChars * sizeof(wchar_t), nullptr);
        DWORD_PTR lenAndType = 0;
        SendMessageTimeoutW(bar, SB_GETTEXTW, part, static_cast<LPARAM>(buffer.address()), SMTO_ABORTIFHUNG,
                            kSendTimeoutMs, &lenAndType);
        std::wstring text;
        if ((HIWORD(lenAndType) & SBT_OWNERDRAW) == 0) {
            ReadProcessMemory(process.get(), buffer.get(), local.data(), (kChars - 1) * sizeof(wchar_t), nullptr);
            text.assign(local.data());
        }
        Out(onlyPart >= 0 ? text : Escape(text));
    }
    return 0;
}

// --- list views ----------------------------------------------------------------
// LVM_ messages carry pointers, which are not carried across processes: the
// record and its text buffer live in a block in the list view's process.

constexpr size_t kListTextChars = 1024;

class RemoteList {
public:
    explicit RemoteList(HWND list) : list_(list), process_(OpenOwner(list)), block_(process_.get(), kBlockBytes) {}
    bool ok() const { return static_cast<bool>(block_); }

    // Sends `message` with `record` (LVITEMW or LVCOLUMNW, its text buffer
    // set here); `record` and `text` get what the list view wrote.
    template <typename Record>
    bool Send(UINT message, WPARAM wParam, Record& record, std::wstring& text) {
        std::vector<wchar_t> buffer(kListTextChars, L'\0');
        char* remote = static_cast<char*>(block_.get());
        record.pszText = reinterpret_cast<LPWSTR>(block_.address() + kTextOffset);
        record.cchTextMax = static_cast<int>(kListTextChars);
        DWORD_PTR result = 0;
        if (!WriteProcessMemory(process_.get(), remote, &record, sizeof record, nullptr) ||
            !WriteProcessMemory(process_.get(), remote + kTextOffset, buffer.data(), kListTextChars * sizeof(wchar_t),
                                nullptr) ||
            !SendMessageTimeoutW(list_, message, wParam, static_cast<LPARAM>(block_.address()), SMTO_ABORTIFHUNG,
                                 kSendTimeoutMs, &result)) {
            return false;
        }
        ReadProcessMemory(process_.get(), remote, &record, sizeof record, nullptr);
        ReadProcessMemory(process_.get(), remote + kTextOffset, buffer.data(), (kListTextChars - 1) * sizeof(wchar_t),
                          nullptr);
        text.assign(buffer.data());
        return true;
    }

private:
    static constexpr size_t kTextOffset = 256;
    static constexpr size_t kBlockBytes = kTextOffset + kListTextChars * sizeof(wchar_t);
    HWND list_;
    UniqueHandle process_;
    RemoteBlock block_;
};

int CmdListView(HWND list) {
    RemoteList remote(list);
    if (!remote.ok()) return Fail(L"cannot allocate in the list view's process");
    const HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = header == nullptr ? 0 : static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    std::wstring text;
    for (int i = 0; i < columns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
        if (!remote.Send(LVM_GETCOLUMNW, static_cast<WPARAM>(i), column, text)) return Fail(L"cannot read a column");
        Out(L"column\t" + std::to_wstring(column.cx) + L"\t" + std::to_wstring(column.fmt) + L"\t" + Escape(text));
    }
    const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        const bool selected = SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_SELECTED) != 0;
        std::wstring line = selected ? L"row\t1" : L"row\t0";
        for (int i = 0; i < std::max(columns, 1); ++i) {
            LVITEMW item{};
            item.iSubItem = i;
            if (!remote.Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item, text)) return Fail(L"cannot read a row");
            line += L"\t" + Escape(text);
        }
        Out(line);
    }
    return 0;
}

int CmdListSelect(HWND list, DWORD row) {
    RemoteList remote(list);
    if (!remote.ok()) return Fail(L"cannot allocate in the list view's process");
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    std::wstring ignored;
    if (!remote.Send(LVM_SETITEMSTATE, row, item, ignored)) return Fail(L"the list view did not take the mark");
    SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    return 0;
}

BOOL CALLBACK ListTop(HWND hwnd, LPARAM) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    Out(Hex(reinterpret_cast<uintptr_t>(hwnd)) + L"\t" + ClassOf(hwnd) + L"\t" +
        std::to_wstring(pid) + L"\t" + (IsWindowVisible(hwnd) ? L"1" : L"0") + L"\t" +
        Escape(TextOf(hwnd)));
    return TRUE;
}

// --- verbs -------------------------------------------------------------------

struct Args {
    int argc;
    wchar_t** argv;
    std::wstring at(int i) const { return i < argc ? argv[i] : L""; }
    bool has(int i) const { return i < argc; }
};

// What Run finds before a verb's handler runs. A window (and an id) is
// looked for only after the operand count (and the id) were checked.
enum class Needs {
    Nothing,   // operands only
    Selector,  // SEL, parsed
    Window,    // the window SEL picks
    WindowId,  // that window, and ID (operand 2) a number
};

struct Call;

struct Verb {
    const wchar_t* name;
    int minOperands;
    int maxOperands;
    Needs needs;
    int (*handler)(const Call&);
    const wchar_t* operands;  // for the usage line
};

struct Call {
    const Args& args;
    const Verb& verb;
    Selector sel;
    HWND window = nullptr;
    DWORD id = 0;
};

std::wstring UsageLine(const Verb& verb) {
    return *verb.operands == L'\0' ? std::wstring(verb.name) : verb.name + std::wstring(L" ") + verb.operands;
}

int Usage(const std::wstring& reason, const Verb& verb) {
    WriteUtf8(STD_ERROR_HANDLE, L"kdriver: " + reason + L"\nusage: kdriver " + UsageLine(verb) + L"\n");
    return 2;
}

int BadOperands(const Call& c) { return Usage(L"bad operands for " + std::wstring(c.verb.name), c.verb); }

bool TimeoutArg(const Args& a, int i, DWORD& timeoutMs) {
    timeoutMs = kDefaultTimeoutMs;
    return !a.has(i) || ParseUInt(a.argv[i], timeoutMs);
}

int VerbWindows(const Call& /*call*/) {
    EnumWindows(ListTop, 0);
    return 0;
}

int VerbCodepage(const Call& /*call*/) {
    wchar_t name[LOCALE_NAME_MAX_LENGTH] = {};
    GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    Out(L"acp\t" + std::to_wstring(GetACP()));
    Out(L"oemcp\t" + std::to_wstring(GetOEMCP()));
    Out(L"locale\t" + std::wstring(name));
    return 0;
}

// --- DPI ----------------------------------------------------------------------

// A user32 function that older Windows lacks; null there.
template <typename Fn>
Fn UserCall(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(found));
}

// kdriver reads every window in physical pixels: a DPI-unaware reader
// would get a DPI-aware window's sizes scaled down to 96 DPI.
void BecomeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    if (const auto set = UserCall<SetContext>("SetProcessDpiAwarenessContext")) {
        // Per monitor (v2, else v1).
        if (set(reinterpret_cast<HANDLE>(-4)) || set(reinterpret_cast<HANDLE>(-3))) {
            return;
        }
    }
    SetProcessDPIAware();
}

int VerbDpi(const Call& c) {
    using ForWindow = UINT(WINAPI*)(HWND);
    using ForSystem = UINT(WINAPI*)();
    using WindowContext = HANDLE(WINAPI*)(HWND);
    using ContextAwareness = int(WINAPI*)(HANDLE);
    const auto forWindow = UserCall<ForWindow>("GetDpiForWindow");
    const auto forSystem = UserCall<ForSystem>("GetDpiForSystem");
    const auto context = UserCall<WindowContext>("GetWindowDpiAwarenessContext");
    const auto awareness = UserCall<ContextAwareness>("GetAwarenessFromDpiAwarenessContext");
    if (forWindow == nullptr || forSystem == nullptr || context == nullptr || awareness == nullptr) {
        return Fail(L"this system has no per-monitor DPI functions");
    }
    const auto release = [](HDC dc) { ReleaseDC(nullptr, dc); };
    const std::unique_ptr<HDC__, decltype(release)> screen(GetDC(nullptr), release);
    const int logPixels = GetDeviceCaps(screen.get(), LOGPIXELSY);
    Out(L"window\t" + std::to_wstring(forWindow(c.window)));
    Out(L"awareness\t" + std::to_wstring(awareness(context(c.window))));
    Out(L"system\t" + std::to_wstring(forSystem()));
    Out(L"logpixels\t" + std::to_wstring(logPixels));
    return 0;
}

// "X,Y,W,H" as a rectangle.
bool ParseRect(const std::wstring& text, RECT& rect) {
    long v[4] = {};
    wchar_t end = 0;
    if (swscanf(text.c_str(), L"%ld,%ld,%ld,%ld%lc", &v[0], &v[1], &v[2], &v[3], &end) != 4) {
        return false;
    }
    rect = RECT{v[0], v[1], v[0] + v[2], v[1] + v[3]};
    return true;
}

int VerbDpiChanged(const Call& c) {
    DWORD dpi = 0;
    RECT suggested{};
    if (!ParseUInt(c.args.argv[3], dpi) || dpi == 0 || dpi > 0xFFFF || !ParseRect(c.args.at(4), suggested)) {
        return BadOperands(c);
    }
    const UniqueHandle process = OpenOwner(c.window);
    RemoteBlock block(process.get(), sizeof suggested);
    if (!block || !WriteProcessMemory(process.get(), block.get(), &suggested, sizeof suggested, nullptr)) {
        return Fail(L"cannot place the rectangle in the window's process");
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(c.window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), static_cast<LPARAM>(block.address()),
                             SMTO_NORMAL, kSendTimeoutMs, &result)) {
        block.Keep();  // the handler may still read it
        return Fail(L"the window did not answer in time");
    }
    return 0;
}

// A message box of kdriver's own, to check box/answer/key without depending
// on Kestrova. Prints the id of the button pressed.
int VerbShowBox(const Call& c) {
    const Args& a = c.args;
    const std::wstring kind = a.has(4) ? a.at(4) : L"yesno";
    UINT type = MB_YESNO;
    if (kind == L"ok") {
        type = MB_OK;
    } else if (kind == L"okcancel") {
        type = MB_OKCANCEL;
    } else if (kind != L"yesno") {
        return BadOperands(c);
    }
    Out(std::to_wstring(MessageBoxW(nullptr, a.argv[3], a.argv[2], type | MB_ICONWARNING)));
    return 0;
}

int VerbBox(const Call& c) {
    DWORD timeoutMs = 0;
    return TimeoutArg(c.args, 3, timeoutMs) ? CmdBox(c.args.at(2), timeoutMs) : BadOperands(c);
}

int VerbAnswer(const Call& c) {
    DWORD id = 0;
    DWORD timeoutMs = 0;
    if (!ParseButton(c.args.at(3), id) || !TimeoutArg(c.args, 4, timeoutMs)) {
        return BadOperands(c);
    }
    return CmdAnswer(c.args.at(2), id, timeoutMs);
}

// The operands of wait-window and wait-gone after SEL: [--visible] [T].
bool WaitArgs(const Args& a, bool& visible, DWORD& timeoutMs) {
    int next = 3;
    visible = a.at(next) == L"--visible";
    if (visible) {
        ++next;
    }
    return !a.has(next + 1) && TimeoutArg(a, next, timeoutMs);
}

int VerbWaitWindow(const Call& c) {
    bool visible = false;
    DWORD timeoutMs = 0;
    if (!WaitArgs(c.args, visible, timeoutMs)) {
        return BadOperands(c);
    }
    HWND h = WaitFor(c.sel, timeoutMs, visible);
    if (h == nullptr) {
        return Fail(L"no window " + Describe(c.sel) + L" after " + std::to_wstring(timeoutMs) + L" ms");
    }
    Out(Hex(reinterpret_cast<uintptr_t>(h)));
    return 0;
}

int VerbWaitGone(const Call& c) {
    bool visible = false;
    DWORD timeoutMs = 0;
    if (!WaitArgs(c.args, visible, timeoutMs)) {
        return BadOperands(c);
    }
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (FindTop(c.sel, visible) != nullptr) {
        if (GetTickCount64() >= end) {
            return Fail(L"window " + Describe(c.sel) + L" still there after " + std::to_wstring(timeoutMs) +
                        L" ms");
        }
        Sleep(kPollMs);
    }
    return 0;
}

int VerbCount(const Call& c) {
    Out(std::to_wstring(FindAll(c.sel).size()));
    return 0;
}

int VerbTitle(const Call& c) {
    Out(TextOf(c.window));
    return 0;
}

int VerbMenu(const Call& c) {
    bool init = false;
    DWORD timeoutMs = kSendTimeoutMs;
    for (int i = 3; i < c.args.argc; ++i) {
        if (c.args.at(i) == L"--init") {
            init = true;
        } else if (!ParseUInt(c.args.argv[i], timeoutMs)) {
            return BadOperands(c);
        }
    }
    return CmdMenu(c.window, init, timeoutMs);
}

int Posted(HWND window, UINT message, WPARAM wParam) {
    return PostMessageW(window, message, wParam, 0) ? 0 : Fail(L"PostMessage failed");
}

int VerbPostCommand(const Call& c) { return Posted(c.window, WM_COMMAND, MAKEWPARAM(c.id, 0)); }

int VerbSendCommand(const Call& c) {
    DWORD timeoutMs = 0;
    if (!TimeoutArg(c.args, 4, timeoutMs)) {
        return BadOperands(c);
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(c.window, WM_COMMAND, MAKEWPARAM(c.id, 0), 0, SMTO_NORMAL, timeoutMs, &result)) {
        return Fail(L"the window did not handle the command in time");
    }
    return 0;
}

int VerbPost(const Call& c) {
    DWORD message = 0;
    DWORD wParam = 0;
    if (!ParseUInt(c.args.argv[3], message) || (c.args.has(4) && !ParseUInt(c.args.argv[4], wParam))) {
        return BadOperands(c);
    }
    return Posted(c.window, message, wParam);
}

int VerbClose(const Call& c) { return Posted(c.window, WM_CLOSE, 0); }

int VerbSync(const Call& c) {
    DWORD timeoutMs = 0;
    if (!TimeoutArg(c.args, 3, timeoutMs)) {
        return BadOperands(c);
    }
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(c.window, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result)
               ? 0
               : Fail(L"the window did not answer in time");
}

int VerbChildren(const Call& c) { return CmdChildren(c.window); }

int VerbControls(const Call& c) {
    DWORD templateId = 0;
    if (!ParseUInt(c.args.argv[4], templateId)) {
        return BadOperands(c);
    }
    return CmdControls(c.window, c.args.at(3), templateId);
}

int VerbRect(const Call& c) {
    RECT w = {};
    RECT r = {};
    GetWindowRect(c.window, &w);
    GetClientRect(c.window, &r);
    Out(L"window\t" + RectText(w));
    Out(L"client\t" + RectText(r));
    return 0;
}

int VerbStyle(const Call& c) {
    Out(L"style\t" + Hex(static_cast<DWORD>(GetWindowLongW(c.window, GWL_STYLE))));
    Out(L"exstyle\t" + Hex(static_cast<DWORD>(GetWindowLongW(c.window, GWL_EXSTYLE))));
    return 0;
}

int VerbKey(const Call& c) {
    const Args& a = c.args;
    int next = 3;
    const bool post = a.at(next) == L"--post";
    if (post) {
        ++next;
    }
    KeyCombo combo;
    if (!a.has(next) || a.has(next + 1) || !ParseCombo(a.at(next), combo)) {
        return BadOperands(c);
    }
    return post ? PostKeys(c.window, combo) : SendKeys(c.window, combo);
}

int VerbMenuSelect(const Call& c) {
    WPARAM wParam = MAKEWPARAM(0, 0xFFFF);
    LPARAM lParam = 0;
    if (c.args.at(3) != L"close") {
        DWORD item = 0;
        if (!ParseUInt(c.args.argv[3], item)) {
            return BadOperands(c);
        }
        wParam = MAKEWPARAM(item, MF_HILITE);
        lParam = reinterpret_cast<LPARAM>(GetMenu(c.window));
    }
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(c.window, WM_MENUSELECT, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result)
               ? 0
               : Fail(L"the window did not answer in time");
}

int VerbStatus(const Call& c) {
    DWORD part = 0;
    if (c.args.has(3) && !ParseUInt(c.args.argv[3], part)) {
        return BadOperands(c);
    }
    return CmdStatus(c.window, c.args.has(3) ? static_cast<int>(part) : -1);
}

HWND Control(const Call& c) { return GetDlgItem(c.window, static_cast<int>(c.id)); }

int NoControl(const Call& c) { return Fail(L"the window has no control " + std::to_wstring(c.id)); }

int VerbItems(const Call& c) {
    HWND control = Control(c);
    if (control == nullptr) {
        return NoControl(c);
    }
    // A list box answers CB_GETCOUNT with 0, not CB_ERR: the class tells.
    const bool combo = !IsClass(control, L"ListBox");
    const LRESULT count = SendMessageW(control, combo ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendMessageW(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, i, 0);
        std::wstring item(static_cast<std::size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        SendMessageW(control, combo ? CB_GETLBTEXT : LB_GETTEXT, i, reinterpret_cast<LPARAM>(item.data()));
        item.resize(wcslen(item.c_str()));
        Out(item);
    }
    return 0;
}

HWND ListViewControl(const Call& c) {
    HWND list = Control(c);
    return list != nullptr && IsClass(list, WC_LISTVIEWW) ? list : nullptr;
}

int NoListView(const Call& c) { return Fail(L"the window has no list view " + std::to_wstring(c.id)); }

int VerbListView(const Call& c) {
    HWND list = ListViewControl(c);
    return list != nullptr ? CmdListView(list) : NoListView(c);
}

int VerbListSelect(const Call& c) {
    HWND list = ListViewControl(c);
    if (list == nullptr) {
        return NoListView(c);
    }
    DWORD row = 0;
    return ParseUInt(c.args.argv[4], row) ? CmdListSelect(list, row) : BadOperands(c);
}

int VerbControl(const Call& c) {
    HWND control = Control(c);
    return control != nullptr ? CmdControl(control) : NoControl(c);
}

// As a pick from the list: the selection, then CBN_SELCHANGE to the owner.
int VerbComboSelect(const Call& c) {
    HWND combo = Control(c);
    if (combo == nullptr) {
        return NoControl(c);
    }
    DWORD item = 0;
    if (!ParseUInt(c.args.argv[4], item)) {
        return BadOperands(c);
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(combo, CB_SETCURSEL, item, 0, SMTO_NORMAL, kSendTimeoutMs, &result) ||
        static_cast<LRESULT>(result) == CB_ERR) {
        return Fail(L"the combo box has no such item");
    }
    const WPARAM notify = MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE);
    return PostMessageW(GetParent(combo), WM_COMMAND, notify, reinterpret_cast<LPARAM>(combo))
               ? 0
               : Fail(L"PostMessage failed");
}

int VerbClick(const Call& c) {
    HWND control = Control(c);
    // Posted, so a click that opens a modal dialog does not block us.
    return control != nullptr ? Posted(control, BM_CLICK, 0) : NoControl(c);
}

int VerbSetText(const Call& c) {
    HWND control = Control(c);
    if (control == nullptr) {
        return NoControl(c);
    }
    const std::wstring text = c.args.at(4);
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL,
                               kSendTimeoutMs, &result)
               ? 0
               : Fail(L"the control did not take the text");
}

// --- dispatch ----------------------------------------------------------------

constexpr Verb kVerbs[] = {
    {L"wait-window", 1, 3, Needs::Selector, VerbWaitWindow, L"SEL [--visible] [TIMEOUT_MS]"},
    {L"wait-gone", 1, 3, Needs::Selector, VerbWaitGone, L"SEL [--visible] [TIMEOUT_MS]"},
    {L"count", 1, 1, Needs::Selector, VerbCount, L"SEL"},
    {L"title", 1, 1, Needs::Window, VerbTitle, L"SEL"},
    {L"menu", 1, 3, Needs::Window, VerbMenu, L"SEL [--init] [TIMEOUT_MS]"},
    {L"menu-select", 2, 2, Needs::Window, VerbMenuSelect, L"SEL ID|close"},
    {L"post-command", 2, 2, Needs::WindowId, VerbPostCommand, L"SEL ID"},
    {L"send-command", 2, 3, Needs::WindowId, VerbSendCommand, L"SEL ID [TIMEOUT_MS]"},
    {L"post", 2, 3, Needs::Window, VerbPost, L"SEL MESSAGE [WPARAM]"},
    {L"close", 1, 1, Needs::Window, VerbClose, L"SEL"},
    {L"sync", 1, 2, Needs::Window, VerbSync, L"SEL [TIMEOUT_MS]"},
    {L"key", 2, 3, Needs::Window, VerbKey, L"SEL [--post] COMBO   (e.g. ctrl+shift+c, alt+f4, f5)"},
    {L"rect", 1, 1, Needs::Window, VerbRect, L"SEL"},
    {L"style", 1, 1, Needs::Window, VerbStyle, L"SEL"},
    {L"status", 1, 2, Needs::Window, VerbStatus, L"SEL [PART]"},
    {L"children", 1, 1, Needs::Window, VerbChildren, L"SEL"},
    {L"controls", 3, 3, Needs::Window, VerbControls, L"SEL EXE TEMPLATE"},
    {L"control", 2, 2, Needs::WindowId, VerbControl, L"SEL ID"},
    {L"click", 2, 2, Needs::WindowId, VerbClick, L"SEL ID"},
    {L"set-text", 3, 3, Needs::WindowId, VerbSetText, L"SEL ID TEXT"},
    {L"items", 2, 2, Needs::WindowId, VerbItems, L"SEL ID"},
    {L"list-view", 2, 2, Needs::WindowId, VerbListView, L"SEL ID"},
    {L"list-select", 3, 3, Needs::WindowId, VerbListSelect, L"SEL ID ROW"},
    {L"combo-select", 3, 3, Needs::WindowId, VerbComboSelect, L"SEL ID ITEM"},
    {L"box", 1, 2, Needs::Nothing, VerbBox, L"CAPTION [TIMEOUT_MS]"},
    {L"answer", 2, 3, Needs::Nothing, VerbAnswer, L"CAPTION yes|no|ok|cancel|ID [TIMEOUT_MS]"},
    {L"show-box", 2, 3, Needs::Nothing, VerbShowBox, L"CAPTION TEXT [yesno|ok|okcancel]"},
    {L"windows", 0, 0, Needs::Nothing, VerbWindows, L""},
    {L"codepage", 0, 0, Needs::Nothing, VerbCodepage, L""},
    {L"dpi", 1, 1, Needs::Window, VerbDpi, L"SEL"},
    {L"dpi-changed", 3, 3, Needs::Window, VerbDpiChanged, L"SEL DPI X,Y,W,H"},
};

// Every verb's usage line, after the reason.
int UsageOfAll(const std::wstring& reason) {
    std::wstring text = L"kdriver: " + reason + L"\nusage: kdriver COMMAND ARGS...\n";
    for (const Verb& verb : kVerbs) {
        text += L"  " + UsageLine(verb) + L"\n";
    }
    WriteUtf8(STD_ERROR_HANDLE, text);
    return 2;
}

int Run(const Args& a) {
    const std::wstring name = a.at(1);
    if (name.empty()) {
        return UsageOfAll(L"no command");
    }
    const Verb* verb = std::find_if(std::begin(kVerbs), std::end(kVerbs),
                                    [&name](const Verb& entry) { return name == entry.name; });
    if (verb == std::end(kVerbs)) {
        return UsageOfAll(L"unknown command " + name);
    }
    if (a.argc - 2 < verb->minOperands || a.argc - 2 > verb->maxOperands) {
        return Usage(L"wrong number of operands for " + name, *verb);
    }
    Call call{a, *verb, {}, nullptr, 0};
    if (verb->needs != Needs::Nothing) {
        call.sel = ParseSelector(a.at(2));
    }
    if (verb->needs == Needs::WindowId && !ParseUInt(a.argv[3], call.id)) {
        return Usage(name + L": the id must be a number", *verb);
    }
    if (verb->needs == Needs::Window || verb->needs == Needs::WindowId) {
        call.window = FindTop(call.sel);
        if (call.window == nullptr) {
            return Fail(L"no window " + Describe(call.sel));
        }
    }
    return verb->handler(call);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // A sign that kdriver's own code began, where the caller asks for one:
    // an exit without it is Wine's, before any verb could act.
    if (const wchar_t* mark = _wgetenv(L"KDRIVER_STARTED"); mark != nullptr && *mark != L'\0') {
        const HANDLE file = CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    BecomeDpiAware();
    return Run(Args{argc, argv});
}
