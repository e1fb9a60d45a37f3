#!/usr/bin/env bash
# Lumora's two everyday commands on a Debian 12 desktop:
#   ./lumora.sh run    install what is missing, build, and start the player on
#                      the bundled catalogue with its demonstration streams
#   ./lumora.sh test   install what is missing, build, and run the whole test suite
#   ./lumora.sh fuzz   install clang, and build and run the fuzz targets (fuzz/run.sh)
# LUMORA_BUILD_DIR chooses the build directory; LUMORA_CMAKE_ARGS adds options
# to its configuration, e.g. LUMORA_CMAKE_ARGS=-DLUMORA_SANITIZE=ON.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${LUMORA_BUILD_DIR:-$here/build}
demo_port=8931

packages=(
    g++ make cmake pkg-config
    qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev libgl1-mesa-dri
    libmpv-dev libicu-dev ffmpeg espeak-ng
    fonts-wqy-microhei
    ccache
)
# desktop-file-utils, appstream: the validators; librsvg2-bin: the PNG icon;
# dpkg-dev, file: the Debian package's library dependencies; xdotool, procps:
# finding the installed launcher's window and processes. The desktop sessions
# the suite runs in (tests/session/): Xvfb with openbox, Weston with Qt's
# Wayland plugin, PulseAudio, a D-Bus session bus with the accessibility bus;
# python3-pyatspi, wmctrl, x11-utils drive and watch the program as a user
# would; gdb prints the backtrace of a program that dies under a test;
# imagemagick takes screenshots; playerctl is the desktop's media controls,
# over MPRIS. The real servers the tests play from: icecast2 (fed by ffmpeg)
# and GStreamer's RTSP server (through python3-gi).
test_packages=(
    xvfb xauth desktop-file-utils appstream librsvg2-bin dpkg-dev file xdotool procps
    openbox x11-utils x11-xserver-utils wmctrl weston qt6-wayland libegl-mesa0
    pulseaudio pulseaudio-utils dbus at-spi2-core python3 python3-pyatspi gir1.2-atspi-2.0
    gdb imagemagick playerctl
    icecast2 python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    gstreamer1.0-libav
)
fuzz_packages=(clang-14 libclang-rt-14-dev)

install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build_all() {
    local extra=()
    # shellcheck disable=SC2206 # a list of options, split at blanks
    [ -z "${LUMORA_CMAKE_ARGS:-}" ] || extra=(${LUMORA_CMAKE_ARGS})
    cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
    cmake --build "$build" -j"$(nproc)"
}

# The demonstration server runs while the player does, and goes with it however
# the player ends: closed, killed, or this script interrupted.
server_pid=
player_pid=
server_log=

stop_run() {
    if [ -n "$player_pid" ]; then
        kill -TERM "$player_pid" 2>/dev/null || true
        wait "$player_pid" 2>/dev/null || true
    fi
    if [ -n "$server_pid" ]; then
        kill -TERM "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    [ -z "$server_log" ] || rm -f -- "$server_log"
}

# 0 once the server listens; 1 when it ended without listening.
start_demo_server() {
    server_log=$(mktemp "${TMPDIR:-/tmp}/lumora-demo-server.XXXXXX")
    # The server dies with this script even when the script is killed outright.
    setpriv --pdeathsig TERM -- "$build/tools/demo-server/lumora-demo-server" --port "$demo_port" \
        >"$server_log" &
    server_pid=$!
    while ! grep -q '^listening on ' "$server_log"; do
        if ! kill -0 "$server_pid" 2>/dev/null; then
            wait "$server_pid" 2>/dev/null || true
            server_pid=
            return 1
        fi
        sleep 0.1
    done
}

run_player() {
    trap stop_run EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    start_demo_server ||
        echo "lumora.sh: the demonstration server did not start (is port $demo_port taken?); its stations will not play" >&2
    (cd "$here/data" && exec "$build/app/lumora") &
    player_pid=$!
    local status=0
    wait "$player_pid" || status=$?
    player_pid=
    return "$status"
}

# The whole suite inside a private X11 desktop session; the Wayland and HiDPI
# tests start sessions of their own. Nothing of the developer's own desktop
# is used.
run_tests() {
    "$here/tests/session/desktop-session.sh" x11 -- \
        ctest --test-dir "$build" --output-on-failure --no-tests=error "$@"
}

case "${1:-}" in
run)
    install_packages "${packages[@]}"
    build_all
    run_player
    ;;
test)
    shift
    install_packages "${packages[@]}" "${test_packages[@]}"
    build_all
    run_tests "$@"
    ;;
fuzz)
    shift
    install_packages "${packages[@]}" "${fuzz_packages[@]}"
    exec "$here/fuzz/run.sh" "$@"
    ;;
*)
    echo "usage: $0 run | test [ctest options] | fuzz [seconds per target] [target...]" >&2
    exit 2
    ;;
esac
