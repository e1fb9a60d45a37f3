#!/usr/bin/env bash
# Runs a command inside a private desktop session like a user's, and takes the
# session down again afterwards, whatever the command did:
#
#   desktop-session.sh x11 [--dpi N] -- COMMAND [ARG...]
#   desktop-session.sh wayland [--scale N] -- COMMAND [ARG...]
#
# Both sessions have a private D-Bus session bus (on which the accessibility
# bus starts on demand) and a PulseAudio server whose default output is a null
# sink, "lumora_sink": what a program plays can be recorded from
# lumora_sink.monitor. x11 is Xvfb at 1920x1080 with openbox as the window
# manager (Xft.dpi set to --dpi, 96 by default); wayland is Weston's headless
# compositor with its desktop shell and pixman renderer, Qt on its Wayland
# platform plugin (--scale is the output scale, 1 by default).
#
# Every process is started here and stopped here by its process id; nothing
# of the caller's own desktop is used. The command's exit status is returned.
# The command finds in its environment LUMORA_SESSION (x11 or wayland),
# LUMORA_SESSION_DIR (a private folder that goes with the session), and
# LUMORA_SESSION_DPI and LUMORA_SESSION_SCALE (the screen's dots per inch as
# device pixels count them, and the output scale).
set -euo pipefail

usage() {
    echo "usage: $0 x11 [--dpi N] | wayland [--scale N] -- COMMAND [ARG...]" >&2
    exit 2
}

[ $# -ge 1 ] || usage
kind=$1
shift
dpi=96
scale=1
while [ $# -gt 0 ]; do
    case "$1" in
    --dpi) dpi=$2; shift 2 ;;
    --scale) scale=$2; shift 2 ;;
    --) shift; break ;;
    *) usage ;;
    esac
done
[ $# -ge 1 ] || usage
case "$kind" in x11 | wayland) ;; *) usage ;; esac

dir=$(mktemp -d "${TMPDIR:-/tmp}/lumora-session.XXXXXX")
chmod 700 "$dir"
pids=()

stop_session() {
    local status=$?
    # Last started, first stopped: the window manager before its display.
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill -TERM "${pids[i]}" 2>/dev/null || true
    done
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        local waited=0
        while kill -0 "${pids[i]}" 2>/dev/null && [ $waited -lt 30 ]; do
            sleep 0.1
            waited=$((waited + 1))
        done
        kill -KILL "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    # The accessibility bus and its registry are started on demand by the
    # session bus, and anything the command left behind is still here: every
    # process that carries this session's folder in its environment goes.
    local p
    for p in /proc/[0-9]*; do
        p=${p#/proc/}
        [ "$p" = $$ ] || [ "$p" = "$BASHPID" ] && continue
        if grep -qxzF "LUMORA_SESSION_DIR=$dir" "/proc/$p/environ" 2>/dev/null; then
            kill -KILL "$p" 2>/dev/null || true
        fi
    done
    rm -rf "$dir"
    exit $status
}
trap stop_session EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_for() {
    local tries=$2
    while ! eval "$1" >/dev/null 2>&1; do
        tries=$((tries - 1))
        if [ $tries -le 0 ]; then
            echo "desktop-session: gave up waiting for: $1" >&2
            return 1
        fi
        sleep 0.1
    done
}

export XDG_RUNTIME_DIR=$dir/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export LUMORA_SESSION=$kind LUMORA_SESSION_DIR=$dir LUMORA_SESSION_SCALE=$scale
if [ "$kind" = wayland ]; then
    export LUMORA_SESSION_DPI=$((96 * scale))
else
    export LUMORA_SESSION_DPI=$dpi LUMORA_SESSION_SCALE=1
fi
export HOME=${HOME:-$dir}
# What the program keeps for the listener (the song history) stays in the
# session, never in the caller's own data folder.
export XDG_DATA_HOME=$dir/data
mkdir -p "$XDG_DATA_HOME"
# Nothing of the caller's desktop leaks in; the session sets its own DPI.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS PULSE_SERVER QT_QPA_PLATFORM \
    XAUTHORITY SESSION_MANAGER DESKTOP_SESSION XDG_CURRENT_DESKTOP XDG_SESSION_TYPE QT_FONT_DPI

# The session bus.
dbus-daemon --session --nofork --nopidfile --address="unix:path=$dir/bus" \
    >"$dir/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/bus"
wait_for "test -S '$dir/bus'" 50

# The sound server, with a null sink as the default output.
mkdir -p "$dir/pulse"
pulseaudio --daemonize=no --exit-idle-time=-1 --disallow-exit -n --use-pid-file=no \
    --log-target=file:"$dir/pulse.log" \
    -L "module-native-protocol-unix socket=$dir/pulse/native auth-anonymous=1" \
    -L "module-null-sink sink_name=lumora_sink rate=48000 channels=2" \
    -L "module-default-device-restore" >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER="unix:$dir/pulse/native"
wait_for "pactl info" 100
pactl set-default-sink lumora_sink

# The display.
case "$kind" in
x11)
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -dpi "$dpi" -nolisten tcp -noreset \
        3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    pids+=($!)
    wait_for "test -s '$dir/display'" 100
    export DISPLAY=":$(head -n1 "$dir/display")"
    echo "Xft.dpi: $dpi" | xrdb -merge
    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    pids+=($!)
    # A window manager announces itself on the root window.
    wait_for "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'" 100
    export XDG_SESSION_TYPE=x11 QT_QPA_PLATFORM=xcb
    ;;
wayland)
    socket=lumora-wayland-$$
    weston --backend=headless-backend.so --use-pixman --width=1920 --height=1080 --scale="$scale" \
        --socket="$socket" --idle-time=0 --debug --no-config --log="$dir/weston.log" \
        >/dev/null 2>&1 &
    pids+=($!)
    wait_for "test -S '$XDG_RUNTIME_DIR/$socket'" 100
    export WAYLAND_DISPLAY=$socket XDG_SESSION_TYPE=wayland QT_QPA_PLATFORM=wayland
    ;;
esac

# Qt speaks to the accessibility bus only when it is asked to; a screen reader
# would ask, tests ask here.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0 GTK_A11Y=none

set +e
"$@"
status=$?
set -e
exit $status
