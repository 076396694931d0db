# Wine environment of Kestrova's run and test scripts. Source it, with
# KESTROVA_ARCH set to the architecture of the exe to run: x64 (the
# default) or x86:
#     KESTROVA_ARCH=x86 source scripts/wine-env.sh && kestrova_prepare_prefix
# It exports the WINE* variables below and KESTROVA_WINE, the Wine loader to
# start Windows programs with ("$KESTROVA_WINE" prog.exe), and defines
#   kestrova_wine_usable         whether this architecture's Wine can run
#                                here; if not, prints one line saying why;
#   kestrova_host_runs_32bit     whether the host runs 32-bit programs (it
#                                runs one to find out; the reason is in
#                                KESTROVA_NO32_REASON when it cannot);
#   kestrova_prepare_prefix      builds the prefix build/wineprefix-$KESTROVA_ARCH
#                                once (15-40 s), then returns at once;
#   kestrova_clone_prefix DEST [DPI]
#                                a private copy of it for one test session
#                                (whose display has DPI dots per inch, 96
#                                when not given).
#
# Debian's /usr/bin/wine is not used: it takes the 32-bit loader whenever
# wine32 is installed, even on a host that cannot run it. The loader and the
# wineserver are named here instead (WINELOADER, WINESERVER), so Wine's own
# tools and child processes use them too.
#
# The prefix runs every program inside one virtual desktop (explorer /desktop,
# 1024x768), so windows never depend on a window manager and a screenshot of
# the X root shows the whole Windows screen. Starting prog.exe still returns
# prog.exe's own exit code: the desktop belongs to a separate explorer process.

KESTROVA_ROOT=${KESTROVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export KESTROVA_ROOT
export KESTROVA_ARCH=${KESTROVA_ARCH:-x64}
case "$KESTROVA_ARCH" in
    x64) export WINEARCH=win64 WINELOADER=${KESTROVA_WINE64:-/usr/lib/wine/wine64} ;;
    x86) export WINEARCH=win32 WINELOADER=${KESTROVA_WINE32:-/usr/lib/wine/wine} ;;
    *) echo "wine-env: KESTROVA_ARCH must be x64 or x86, not '$KESTROVA_ARCH'" >&2; return 2 ;;
esac
export KESTROVA_WINE=$WINELOADER
# The 64-bit server serves 32-bit programs too; Debian's wrapper prefers it.
if [ -x /usr/lib/wine/wineserver64 ]; then
    export WINESERVER=/usr/lib/wine/wineserver64
else
    export WINESERVER=/usr/lib/wine/wineserver32
fi
export WINEPREFIX="${KESTROVA_WINEPREFIX:-$KESTROVA_ROOT/build/wineprefix-$KESTROVA_ARCH}"
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no desktop menu entries or file links.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# KESTROVA_PREFIX_VERSION goes up whenever kestrova_prefix_reg changes: the
# registry is then applied again. A new Wine version gets a new prefix.
KESTROVA_PREFIX_VERSION=5
# (Empty before Wine is installed: setup.sh sources this file first.)
KESTROVA_WINE_VERSION=$({ "$WINELOADER" --version 2>/dev/null || true; } | tr -cs 'A-Za-z0-9.-' '_')
KESTROVA_PREFIX_BOOTED="$WINEPREFIX/.kestrova-booted-$KESTROVA_WINE_VERSION"
KESTROVA_PREFIX_STAMP="$WINEPREFIX/.kestrova-prefix-v$KESTROVA_PREFIX_VERSION-$KESTROVA_WINE_VERSION"

# The smallest 32-bit Linux program: exit(42) through int 0x80. A kernel
# without IA-32 emulation refuses it ("Exec format error").
kestrova_host_runs_32bit() {
    local probe status=0
    probe=$(mktemp -t kestrova-i386-XXXXXX) || return 1
    printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\164\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\002\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\200\000\000\000\200\000\000\000\005\000\000\000\000\020\000\000\121\345\164\144\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\006\000\000\000\020\000\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >"$probe"
    chmod +x "$probe"
    KESTROVA_NO32_REASON=$( ("$probe") 2>&1 >/dev/null ) || status=$?
    rm -f "$probe"
    if [ "$status" = 42 ]; then
        KESTROVA_NO32_REASON=
        return 0
    fi
    KESTROVA_NO32_REASON=${KESTROVA_NO32_REASON##*: }
    if [ -z "$KESTROVA_NO32_REASON" ]; then
        KESTROVA_NO32_REASON="a 32-bit program ended with status $status"
        [ "$status" -gt 128 ] && KESTROVA_NO32_REASON="a 32-bit program was ended by signal $((status - 128))"
    fi
    return 1
}

kestrova_wine_usable() {
    local bits=64 package=wine64
    [ "$KESTROVA_ARCH" = x86 ] && bits=32 package=wine32:i386
    if [ "$bits" = 32 ] && ! kestrova_host_runs_32bit; then
        echo "wine-env: this host cannot run 32-bit programs ($KESTROVA_NO32_REASON), so not 32-bit Wine either" >&2
        return 1
    fi
    if [ ! -x "$WINELOADER" ]; then
        echo "wine-env: no $bits-bit Wine ($WINELOADER): install the Debian package $package (scripts/setup.sh does)" >&2
        return 1
    fi
    if [ ! -x "$WINESERVER" ]; then
        echo "wine-env: no wineserver ($WINESERVER): install the Debian package wine64" >&2
        return 1
    fi
    return 0
}

# The prefix's own settings, as a .reg file (UTF-8 here; written as UTF-16).
# Fonts: the Japanese UI faces and the default dialog faces resolve to the
# IPA fonts; Tahoma, the menu and message font of the English locale, is
# replaced too. So menus, titles and message boxes show Japanese glyphs
# (half-width kana included) in the Japanese and in the English locale.
# winebus looks for no joysticks: through SDL, hidraw and evdev it polls
# several times a second in every session, a few per cent of a core.
kestrova_prefix_reg() {
    cat <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="1024x768"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""
"mscoree"=""
"mshtml"=""

[HKEY_LOCAL_MACHINE\System\CurrentControlSet\Services\winebus]
"Enable SDL"=dword:00000000
"DisableHidraw"=dword:00000001
"DisableInput"=dword:00000001

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Tahoma"="IPAPGothic"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]
"MS Shell Dlg"="IPAPGothic"
"MS Shell Dlg 2"="IPAPGothic"
"MS UI Gothic"="IPAPGothic"
"MS Gothic"="IPAGothic"
"MS PGothic"="IPAPGothic"
"MS Mincho"="IPAMincho"
"MS PMincho"="IPAPMincho"
"Tahoma"="IPAPGothic"
"ＭＳ ゴシック"="IPAGothic"
"ＭＳ Ｐゴシック"="IPAPGothic"
"ＭＳ 明朝"="IPAMincho"
"ＭＳ Ｐ明朝"="IPAPMincho"
EOF
}

kestrova_prepare_prefix() {
    [ -f "$KESTROVA_PREFIX_STAMP" ] && return 0
    kestrova_wine_usable || return 1
    mkdir -p "$(dirname "$WINEPREFIX")" || return 1
    # One preparer at a time; whoever waited finds the stamp and returns.
    (
        flock 9
        [ -f "$KESTROVA_PREFIX_STAMP" ] && exit 0
        kestrova_make_prefix
    ) 9>"$WINEPREFIX.lock"
}

kestrova_make_prefix() {
    # The Wine tools run headless (no DISPLAY) and in a neutral locale; each
    # program gets its code page from LANG when it starts.
    if [ ! -f "$KESTROVA_PREFIX_BOOTED" ]; then
        echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
        # A half-made prefix (a stopped run, an older Wine) is made anew.
        if [ -d "$WINEPREFIX" ]; then
            "$WINESERVER" -k >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
        fi
        (
            unset DISPLAY
            export LANG=C.UTF-8 LC_ALL=C.UTF-8
            "$WINELOADER" wineboot.exe -i >/dev/null 2>&1 && "$WINESERVER" -w
        ) || { echo "wine-env: wineboot failed" >&2; return 1; }
        touch "$KESTROVA_PREFIX_BOOTED"
    fi
    # Wine's own fonts (Marlett draws the title-bar buttons) are not picked
    # up from Debian's fonts-wine by themselves; the prefix's Fonts folder is.
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
    for font in /usr/share/wine/fonts/*.ttf; do
        [ -e "$font" ] && cp -n "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
    done
    echo "wine-env: applying Kestrova's settings to $WINEPREFIX" >&2
    # regedit reads UTF-16 .reg files, which keeps the Japanese face names
    # independent of any code page.
    local reg_file
    reg_file=$(mktemp --suffix=.reg) || return 1
    { printf '\xff\xfe'; kestrova_prefix_reg | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$reg_file"
    (
        unset DISPLAY
        export LANG=C.UTF-8 LC_ALL=C.UTF-8
        "$WINELOADER" regedit.exe /S "Z:${reg_file//\//\\}" >/dev/null 2>&1 && "$WINESERVER" -w
    ) || { rm -f "$reg_file"; echo "wine-env: regedit failed" >&2; return 1; }
    rm -f "$reg_file"
    rm -f "$WINEPREFIX"/.kestrova-prefix-v*
    touch "$KESTROVA_PREFIX_STAMP"
}

# kestrova_clone_prefix DEST [DPI]: a private prefix for one test session,
# made in milliseconds from the prepared one. It has its own registry
# (whatever a run writes there is gone with it) and so its own wineserver and
# desktop: sessions of test runs started side by side never meet. drive_c is
# the prepared prefix's, through a symlink. Export WINEPREFIX=DEST to use it.
# With DPI, its programs see a display of DPI dots per inch.
kestrova_clone_prefix() {
    local dest=$1 dpi=${2:-}
    [ -n "$dest" ] || { echo "usage: kestrova_clone_prefix DEST [DPI]" >&2; return 2; }
    if [ -n "$dpi" ] && ! [[ $dpi =~ ^[1-9][0-9]*$ ]]; then
        echo "kestrova_clone_prefix: DPI must be a number, not '$dpi'" >&2
        return 2
    fi
    kestrova_prepare_prefix || return 1
    mkdir -p "$dest/dosdevices" || return 1
    cp -p "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" "$WINEPREFIX/userdef.reg" \
          "$WINEPREFIX/.update-timestamp" "$dest/" || return 1
    if [ -n "$dpi" ]; then kestrova_set_dpi "$dest" "$dpi" || return 1; fi
    ln -sfn "$WINEPREFIX/drive_c" "$dest/drive_c" &&
        ln -sfn ../drive_c "$dest/dosdevices/c:" &&
        ln -sfn / "$dest/dosdevices/z:"
}

# kestrova_set_dpi PREFIX DPI: the prefix's display DPI, before its
# wineserver starts (it reads the registry files then). Each program of
# Wine 8 takes LogPixels when it starts, from HKCU\Control Panel\Desktop, else
# from HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts
# (96 in a new prefix); both are set. A key given again further down the
# file adds to the first.
kestrova_set_dpi() {
    local prefix=$1 value stamp
    value=$(printf 'dword:%08x' "$2") || return 1
    stamp=$(date +%s)
    printf '\n[Control Panel\\\\Desktop] %s\n"LogPixels"=%s\n' "$stamp" "$value" >>"$prefix/user.reg" &&
        printf '\n[System\\\\CurrentControlSet\\\\Hardware Profiles\\\\Current\\\\Software\\\\Fonts] %s\n"LogPixels"=%s\n' \
               "$stamp" "$value" >>"$prefix/system.reg"
}
