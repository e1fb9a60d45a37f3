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
# finding the installed launcher's window and processes.
test_packages=(xvfb xauth desktop-file-utils appstream librsvg2-bin dpkg-dev file xdotool procps
    icecast2 python3-gi gir1.2-gst-rtsp-server-1.0 gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-libav)
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

run_player() {
    "$build/tools/demo-server/lumora-demo-server" --port "$demo_port" &
    local server=$!
    trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
    (cd "$here/data" && "$build/app/lumora")
}

run_tests() {
    local args=(--test-dir "$build" --output-on-failure --no-tests=error)
    if [ -n "${WAYLAND_DISPLAY:-}${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
        ctest "${args[@]}" "$@"
    else
        xvfb-run -a -s "-screen 0 1920x1080x24" ctest "${args[@]}" "$@"
    fi
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
