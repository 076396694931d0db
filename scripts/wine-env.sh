# Wine environment of Kestrova's run and end-to-end scripts. Source it:
#     source scripts/wine-env.sh && kestrova_prepare_prefix
# It exports the WINE* variables below and defines
#   kestrova_prepare_prefix      builds the 32-bit prefix build/wineprefix
#                                once (about 15 s), then returns at once;
#   kestrova_clone_prefix DEST   a private copy of it for one test session.
#
# The prefix runs every program inside one virtual desktop (explorer /desktop,
# 1024x768), so windows never depend on a window manager and a screenshot of
# the X root shows the whole Windows screen. `wine prog.exe` still returns
# prog.exe's own exit code: the desktop belongs to a separate explorer process.

KESTROVA_ROOT=${KESTROVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export KESTROVA_ROOT
export WINEPREFIX="${KESTROVA_WINEPREFIX:-$KESTROVA_ROOT/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no desktop menu entries or file links.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# KESTROVA_PREFIX_VERSION goes up whenever kestrova_prefix_reg changes: the
# registry is then applied again. A new Wine version gets a new prefix.
KESTROVA_PREFIX_VERSION=4
KESTROVA_WINE_VERSION=$(wine --version 2>/dev/null | tr -cs 'A-Za-z0-9.-' '_')
KESTROVA_PREFIX_BOOTED="$WINEPREFIX/.kestrova-booted-$KESTROVA_WINE_VERSION"
KESTROVA_PREFIX_STAMP="$WINEPREFIX/.kestrova-prefix-v$KESTROVA_PREFIX_VERSION-$KESTROVA_WINE_VERSION"

# The prefix's own settings, as a .reg file (UTF-8 here; written as UTF-16).
# Fonts: the Japanese UI faces and the default dialog faces resolve to the
# IPA fonts; Tahoma, the menu and message font of the English locale, is
# replaced too. So menus, titles and message boxes show Japanese glyphs
# (half-width kana included) in the Japanese and in the English locale.
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
            wineserver -k >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
        fi
        (
            unset DISPLAY
            export LANG=C.UTF-8 LC_ALL=C.UTF-8
            wineboot -i >/dev/null 2>&1 && wineserver -w
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
        wine regedit /S "$(winepath -w "$reg_file" 2>/dev/null)" >/dev/null 2>&1 && wineserver -w
    ) || { rm -f "$reg_file"; echo "wine-env: regedit failed" >&2; return 1; }
    rm -f "$reg_file"
    rm -f "$WINEPREFIX"/.kestrova-prefix-v*
    touch "$KESTROVA_PREFIX_STAMP"
}

# kestrova_clone_prefix DEST: a private prefix for one test session, made in
# milliseconds from the prepared one. It has its own registry (whatever a run
# writes there is gone with it) and so its own wineserver and desktop:
# sessions of test runs started side by side never meet. drive_c is the
# prepared prefix's, through a symlink. Export WINEPREFIX=DEST to use it.
kestrova_clone_prefix() {
    local dest=$1
    [ -n "$dest" ] || { echo "usage: kestrova_clone_prefix DEST" >&2; return 2; }
    kestrova_prepare_prefix || return 1
    mkdir -p "$dest/dosdevices" || return 1
    cp -p "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" "$WINEPREFIX/userdef.reg" \
          "$WINEPREFIX/.update-timestamp" "$dest/" || return 1
    ln -sfn "$WINEPREFIX/drive_c" "$dest/drive_c" &&
        ln -sfn ../drive_c "$dest/dosdevices/c:" &&
        ln -sfn / "$dest/dosdevices/z:"
}
