# Sourced by the tests that need a real X server. Sourcing it makes $work a fresh temporary
# folder; the folder, the program and the server go when the test ends.
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
    [[ -n "$app_pid" ]] && kill "$app_pid" 2>/dev/null || true
    [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# start_xvfb LOG starts Xvfb on a free
# display number, exports DISPLAY, sets xvfb_pid (for the caller's clean-up) and returns
# once the server answers.
start_xvfb() {
    local log=$1 display="" n
    for n in $(seq 90 120); do
        if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=":$n"; break; fi
    done
    [[ -n "$display" ]] || { echo "no free X display number"; return 1; }
    Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >"$log" 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    sleep 0.5
}

# start_varimark PROGRAM HOME LOG starts the desktop program with HOME as its home folder,
# sets app_pid, and window to its main window once that is shown.
start_varimark() {
    local program=$1 home=$2 log=$3
    HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=xcb "$program" >"$log" 2>&1 &
    app_pid=$!
    window=$(timeout 20 xdotool search --sync --name "^Varimark 1.0$" | head -n 1) || {
        echo "the window did not appear"; cat "$log"; return 1; }
}
