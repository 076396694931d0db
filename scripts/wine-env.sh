# Wine environment of Kestrova's run and end-to-end scripts. Source it:
#     source scripts/wine-env.sh && kestrova_prepare_prefix
# It sets the variables below and defines kestrova_prepare_prefix, which
# builds the 32-bit prefix under build/wineprefix once (about 20-30 s) and is
# a no-op afterwards.
#
# The prefix runs every program inside one virtual desktop (explorer /desktop,
# 1024x768), so windows never depend on a window manager and a screenshot of
# the X root shows the whole Windows screen. `wine prog.exe` still returns
# prog.exe's own exit code: the desktop is a separate explorer process.

KESTROVA_ROOT=${KESTROVA_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export KESTROVA_ROOT
export WINEPREFIX="${KESTROVA_WINEPREFIX:-$KESTROVA_ROOT/build/wineprefix}"
export WINEARCH=win32
export WINEDEBUG=-all
# No Mono or Gecko install prompts, no desktop menu entries or file links.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Bumped whenever the settings below change, so old prefixes are redone.
KESTROVA_PREFIX_VERSION=3
KESTROVA_PREFIX_STAMP="$WINEPREFIX/.kestrova-prefix-v$KESTROVA_PREFIX_VERSION"

kestrova_prefix_reg() {
    # Registry settings applied to a new prefix. Fonts: Japanese UI faces and
    # the default dialog faces all resolve to the IPA fonts, so menus, titles
    # and message boxes show real glyphs (half-width kana included) in both
    # the Japanese and the English locale.
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

[HKEY_CURRENT_USER\Control Panel\Desktop]
"FontSmoothing"="0"

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
    mkdir -p "$(dirname "$WINEPREFIX")"
    # One preparer at a time; whoever waited finds the stamp and returns.
    (
        flock 9
        [ -f "$KESTROVA_PREFIX_STAMP" ] && exit 0
        kestrova_make_prefix
    ) 9>"$WINEPREFIX.lock"
}

kestrova_make_prefix() {
    echo "wine-env: preparing the Wine prefix $WINEPREFIX" >&2
    # A half-made prefix (an earlier run stopped, or older settings) is redone.
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k >/dev/null 2>&1 || true
        rm -rf "$WINEPREFIX"
    fi
    # wineboot needs no display: without DISPLAY it runs headless. The
    # prefix is made in a neutral locale; each program gets its code page
    # from LANG when it starts.
    (
        unset DISPLAY
        export LANG=C.UTF-8 LC_ALL=C.UTF-8
        wineboot -i >/dev/null 2>&1 && wineserver -w
    ) || { echo "wine-env: wineboot failed" >&2; return 1; }
    # regedit reads UTF-16 .reg files, which keeps the Japanese face names
    # independent of the locale the prefix was made in.
    local reg_file
    reg_file=$(mktemp --suffix=.reg) || return 1
    { printf '\xff\xfe'; kestrova_prefix_reg | sed 's/$/\r/' | iconv -f UTF-8 -t UTF-16LE; } >"$reg_file"
    (
        unset DISPLAY
        wine regedit /S "$(winepath -w "$reg_file" 2>/dev/null)" >/dev/null 2>&1 && wineserver -w
    ) || { rm -f "$reg_file"; echo "wine-env: regedit failed" >&2; return 1; }
    rm -f "$reg_file"
    touch "$KESTROVA_PREFIX_STAMP"
}
