#!/usr/bin/env bash
# Makes docs/screenshot.png, the picture of the main window shown in the README.
#
# The program runs on a private virtual X server (Xvfb) from a fresh copy of its folder,
# with a temporary HOME, so no settings file of yours is read or changed and every run
# starts from the same state: the type list on "Code UPC-A" and an empty text field. The
# script then types a UPC-A number into the text field and grabs the window.
#
# Needs: xvfb, xdotool, imagemagick (Debian packages) and a built program
# (build/bin/varimark). Usage: scripts/screenshot.sh [OUTPUT.png]
#
# Environment (all optional):
#   VARIMARK_BIN      the program to run (default build/bin/varimark)
#   SCREENSHOT_TEXT   the text typed (default 03600029145)
#   FIELD_X, FIELD_Y  where to click when typing alone did not reach the text field, in
#                     pixels from the window's top left corner (default 120 and 62)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=${VARIMARK_BIN:-$ROOT/build/bin/varimark}
OUTPUT=${1:-$ROOT/docs/screenshot.png}
TEXT=${SCREENSHOT_TEXT:-03600029145}
FIELD_X=${FIELD_X:-120}
FIELD_Y=${FIELD_Y:-62}
TITLE='^Varimark 1\.0$'

die() {
    echo "screenshot: $*" >&2
    exit 1
}

for tool in Xvfb xdotool import identify timeout; do
    command -v "$tool" >/dev/null 2>&1 ||
        die "'$tool' not found; install it with: apt-get install xvfb xdotool imagemagick"
done
[[ -x "$BIN" ]] || die "no program at $BIN; build it first (cmake --build build)"

WORK=$(mktemp -d "${TMPDIR:-/tmp}/varimark-shot.XXXXXX")
XVFB_PID=
APP_PID=

cleanup() {
    local status=$?
    if [[ -n "$APP_PID" ]] && kill -0 "$APP_PID" 2>/dev/null; then
        kill "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
    fi
    if [[ -n "$XVFB_PID" ]] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

show_log() {
    local log=$1
    if [[ -s "$log" ]]; then
        echo "--- last lines of $(basename "$log") ---" >&2
        tail -n 20 "$log" >&2
    fi
}

# --- the virtual X server, on the first free display from :97 on ---------------------
display_free() {
    [[ ! -e "/tmp/.X$1-lock" && ! -e "/tmp/.X11-unix/X$1" ]]
}

start_xvfb() {
    local n=$1 tries
    Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
    XVFB_PID=$!
    for ((tries = 0; tries < 100; tries++)); do
        if ! kill -0 "$XVFB_PID" 2>/dev/null; then
            wait "$XVFB_PID" 2>/dev/null || true
            XVFB_PID=
            return 1
        fi
        if DISPLAY=":$n" xdotool getdisplaygeometry >/dev/null 2>&1; then
            return 0
        fi
        sleep 0.1
    done
    die "Xvfb on :$n did not answer within 10 s"
}

DISPLAY_NUMBER=
for ((n = 97; n < 97 + 40; n++)); do
    display_free "$n" || continue
    if start_xvfb "$n"; then
        DISPLAY_NUMBER=$n
        break
    fi
done
if [[ -z "$DISPLAY_NUMBER" ]]; then
    show_log "$WORK/xvfb.log"
    die "could not start Xvfb on any display from :97 to :136"
fi
export DISPLAY=":$DISPLAY_NUMBER"
echo "screenshot: Xvfb runs on $DISPLAY"

# --- a fresh copy of the program's folder and an empty home -------------------------
APPDIR=$WORK/app
mkdir -p "$APPDIR" "$WORK/home" "$WORK/config" "$WORK/runtime"
chmod 700 "$WORK/runtime"
cp "$BIN" "$APPDIR/varimark"
HELP_FILE=$(dirname "$BIN")/VARIMARK.HLP
if [[ -f "$HELP_FILE" ]]; then
    cp "$HELP_FILE" "$APPDIR/VARIMARK.HLP"
else
    echo "screenshot: warning: no $HELP_FILE; going on without the help file" >&2
fi

(
    cd "$APPDIR"
    unset WAYLAND_DISPLAY SESSION_MANAGER
    export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/config" XDG_RUNTIME_DIR="$WORK/runtime"
    export QT_QPA_PLATFORM=xcb QT_ACCESSIBILITY=0 NO_AT_BRIDGE=1 LANG=C.UTF-8
    exec ./varimark
) >"$WORK/varimark.log" 2>&1 &
APP_PID=$!

app_alive() {
    kill -0 "$APP_PID" 2>/dev/null
}

# --- wait for the main window; the splash comes first --------------------------------
if ! WINDOWS=$(timeout 30 xdotool search --sync --onlyvisible --name "$TITLE" 2>/dev/null); then
    app_alive || { show_log "$WORK/varimark.log"; die "the program ended before its window appeared"; }
    show_log "$WORK/varimark.log"
    die "no window titled \"Varimark 1.0\" appeared within 30 s"
fi
WIN=$(printf '%s\n' "$WINDOWS" | head -n 1)
[[ -n "$WIN" ]] || die "xdotool found no window id"
echo "screenshot: main window is $WIN"

# Let the splash go and the window settle.
sleep 3
app_alive || { show_log "$WORK/varimark.log"; die "the program ended after showing its window"; }

# Pixel signature of the window: tells whether typing reached the text field.
signature() {
    import -window "$WIN" "$WORK/probe.png" 2>/dev/null || die "could not grab window $WIN"
    identify -format '%#' "$WORK/probe.png"
}

type_text() {
    # Through XTEST to the focused widget: a program may ignore synthetic key events.
    xdotool type --delay 60 -- "$TEXT"
    sleep 1.5
}

# The pointer goes to the screen's corner, so that no hint covers the picture. No window
# manager runs, so focusing needs no activation; the text field has the keyboard focus
# when the window opens.
xdotool mousemove 799 599
xdotool windowfocus "$WIN" 2>/dev/null || true
sleep 0.5
BEFORE=$(signature)
type_text
AFTER=$(signature)

if [[ "$BEFORE" == "$AFTER" ]]; then
    echo "screenshot: typing changed nothing; clicking into the text field and typing again"
    eval "$(xdotool getwindowgeometry --shell "$WIN")"
    xdotool mousemove --sync $((X + FIELD_X)) $((Y + FIELD_Y)) click 1
    sleep 0.3
    xdotool key ctrl+a BackSpace
    type_text
    AFTER=$(signature)
    [[ "$BEFORE" != "$AFTER" ]] ||
        die "the typed text did not reach the window; set FIELD_X and FIELD_Y to the text field's position"
    xdotool mousemove 799 599
    sleep 1
fi

app_alive || { show_log "$WORK/varimark.log"; die "the program ended while the text was typed"; }

mkdir -p "$(dirname "$OUTPUT")"
import -window "$WIN" "$WORK/shot.png" || die "could not grab window $WIN"
mv "$WORK/shot.png" "$OUTPUT"
echo "screenshot: wrote $OUTPUT ($(identify -format '%wx%h' "$OUTPUT"))"
