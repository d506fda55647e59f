# Sourced by the scripts that run Windows programs: a private Wine prefix in
# the build tree, a virtual X display, and a warm Wine server.
#
#   . scripts/wine-env.sh; wine_start; ...; wine_stop
#
# Wine's background services must start before any test runner, or they
# inherit the runner's output pipes and the runner waits for ever.

WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
: "${WINEPREFIX:=$(pwd)/build/wineprefix}"
export WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_start() {
    mkdir -p "$WINEPREFIX"
    # A new prefix links the user's Desktop and Documents folders to $HOME;
    # a home of the prefix's own, used while the prefix is made, keeps what
    # programs put there inside the build tree.
    wine_home="$WINEPREFIX.home"
    mkdir -p "$wine_home"
    if [ -z "${DISPLAY:-}" ] || [ -n "${WINE_ENV_OWN_XVFB:-}" ]; then
        # -displayfd picks a free display number and reports it.
        fifo=$(mktemp -u)
        mkfifo "$fifo"
        Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
        XVFB_PID=$!
        read -r display_number <"$fifo"
        rm -f "$fifo"
        export DISPLAY=":$display_number"
        export WINE_ENV_OWN_XVFB=1
    fi
    "$WINESERVER" -p >/dev/null 2>&1 </dev/null
    # The first program on a fresh server boots the prefix (wineboot --init,
    # which starts services.exe) and waits for it; the registry command below
    # is that first program. An explicit `wineboot -i` would start a second
    # service manager, and the two break services (the Task Scheduler cannot
    # start).
    # Without a window manager Wine waits ~2 s each time a top-level window
    # hides; unmanaged windows do not wait.
    # A 32-bit prefix (WINEARCH=win32) boots with the 32-bit loader.
    loader=$WINE64
    [ "${WINEARCH:-}" = win32 ] && loader=/usr/lib/wine/wine
    HOME="$wine_home" "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ \
        /d N /f >/dev/null 2>&1 </dev/null
}

# wine_pin_desktops EXE [LOADER]: starts the tests' DesktopPin.exe (with
# LOADER, wine64 by default; wine for a 32-bit build), which keeps the
# default desktop and the wizard walks' desktop open until wine_stop. Wine
# closes a desktop a second after its last program ends and starts a new
# desktop manager for the next one; a test program that arrives while the
# old manager quits can be left waiting. Started before any test runner, for
# the reason above.
wine_pin_desktops() {
    [ -f "$1" ] || { echo "wine-env: no $1" >&2; return 1; }
    "${2:-$WINE64}" "$1" >/dev/null 2>&1 </dev/null &
}

wine_stop() {
    "$WINESERVER" -k >/dev/null 2>&1 </dev/null || true
    if [ -n "${XVFB_PID:-}" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=
    fi
}
