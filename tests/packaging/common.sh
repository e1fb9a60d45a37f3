# Shared by the packaging tests: failing, a scratch folder that is removed with
# everything the test started, tiny GBK catalogues, and starting an installed
# launcher and finding the player it started.
set -euo pipefail

fail() {
    printf 'FAIL: %s\n' "$*" >&2
    exit 1
}

pass() {
    printf 'ok: %s\n' "$*"
}

# CTest counts exit 77 as skipped (SKIP_RETURN_CODE).
skip() {
    printf 'SKIP: %s\n' "$*"
    exit 77
}

# A demonstration server left on PORT by a person (./lumora.sh run) would make
# the demonstration cases prove nothing.
need_free_port() {
    [ -z "$(http_reply "$1")" ] || skip "127.0.0.1:$1 is already served; stop that server to run this test"
}

# Processes the test started, ended on exit whatever happened.
started=()
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lumora-packaging.XXXXXX")
cleanup() {
    local pid
    for pid in "${started[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "${started[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$scratch"
}
trap cleanup EXIT

# Headless when there is no display: the window has to appear somewhere.
need_display() {
    if [ -z "${DISPLAY:-}" ]; then
        [ -z "${LUMORA_PACKAGING_XVFB:-}" ] || fail "no display even under xvfb-run"
        export LUMORA_PACKAGING_XVFB=1
        exec xvfb-run -a -s "-screen 0 1280x800x24" bash "$0" "$@"
    fi
    command -v xdotool >/dev/null || fail "xdotool is missing (./lumora.sh test installs it)"
    # An X server without -noreset (xvfb-run's) resets when its last client
    # leaves and refuses connections meanwhile; between two players this test
    # may be that last client, so a connection is held open throughout.
    xdotool sleep 3600 &
    started+=($!)
    xdotool getmouselocation >/dev/null 2>&1 || fail "cannot reach the display $DISPLAY"
}

# The seventeen list file names of a catalogue.
list_files=(
    gb/ah.txt gb/gd.txt gb/gx.txt gb/hb.txt gb/hlj.txt gb/hubei.txt gb/hn.txt
    gb/jx.txt gb/js.txt gb/ln.txt gb/sc.txt gb/sd.txt gb/cri.txt gb/cnr.txt
    gb.txt tv.txt xs.txt
)

# write_gbk FILE LINE... : GBK, CR LF, as the program's list files are.
write_gbk() {
    local file=$1
    shift
    mkdir -p -- "$(dirname -- "$file")"
    printf '%s\r\n' "$@" | iconv -f UTF-8 -t GBK >"$file"
}

# A full catalogue of one station a file, in DIR; gb/ah.txt gets a second,
# deliberately short record, which the program reports on stderr.
make_user_catalogue() {
    local dir=$1 file
    for file in "${list_files[@]}"; do
        write_gbk "$dir/$file" "|自己的电台 ${file%.txt}|http://127.0.0.1:9/${file%.txt}.mp3"
    done
    write_gbk "$dir/gb/ah.txt" "|自己的电台 安徽|http://127.0.0.1:9/ah.mp3" "|缺地址的电台"
}

# The environment of a user with an empty home in the scratch folder: every
# XDG folder inside it, except the media cache of the demonstration server,
# which is kept between runs (its first generation takes seconds).
user_env() {
    local home=$scratch/home
    mkdir -p "$home" "$scratch/runtime"
    chmod 700 "$scratch/runtime"
    export HOME=$home
    export XDG_DATA_HOME=$home/.local/share
    export XDG_CONFIG_HOME=$home/.config
    export XDG_RUNTIME_DIR=$scratch/runtime
    export XDG_CACHE_HOME=${LUMORA_PACKAGING_CACHE:-$home/.cache}
    export LC_ALL=C.UTF-8
    export QT_LOGGING_RULES='qt.qpa.*=false'
    unset LUMORA_DEMO_SERVER_WAIT
}

# start_launcher LAUNCHER ERRFILE: starts it in the background, its stderr
# into ERRFILE; sets launcher_pid.
start_launcher() {
    launcher_err=$2
    "$1" 2>"$2" </dev/null &
    launcher_pid=$!
    started+=("$launcher_pid")
}

# children PID: "pid command" of each child.
children() {
    ps --ppid "$1" -o pid=,comm= 2>/dev/null || true
}

child_named() {
    children "$1" | awk -v name="$2" '$2 == name { print $1; exit }'
}

# wait_for_player TITLE: sets player_pid and window once a window with TITLE
# belongs to the launcher's process (the program exec'd in its place) or to
# its child `lumora`. At most 30 s: a cold start of the demonstration server
# generates its media first.
wait_for_player() {
    local title=$1 tenths pid
    player_pid=
    window=
    for ((tenths = 0; tenths < 300; tenths++)); do
        kill -0 "$launcher_pid" 2>/dev/null ||
            fail "the launcher ended before a window appeared; its stderr: $(cat "$launcher_err")"
        pid=$(child_named "$launcher_pid" lumora)
        pid=${pid:-$launcher_pid}
        window=$(xdotool search --all --pid "$pid" --name "^${title//./\\.}\$" 2>/dev/null | head -n 1 || true)
        if [ -n "$window" ]; then
            player_pid=$pid
            return 0
        fi
        sleep 0.1
    done
    fail "no window titled \"$title\" within 30 s; the launcher's stderr: $(cat "$launcher_err")"
}

# wait_gone PID: true once PID has ended (at most 10 s).
wait_gone() {
    local tenths
    for ((tenths = 0; tenths < 100; tenths++)); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    return 1
}

# What answers on 127.0.0.1:PORT: the reply to GET /, empty when nothing does.
http_reply() {
    (
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 0
        printf 'GET / HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' >&3
        timeout 3 cat <&3 || true
    ) 2>/dev/null
}

# http_status PORT PATH: the status code of GET PATH on 127.0.0.1:PORT, or
# nothing when no answer comes within 3 s.
http_status() {
    (
        exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 0
        printf 'GET %s HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n' "$2" >&3
        timeout 3 head -c 64 <&3 | head -n 1 | cut -d' ' -f2
    ) 2>/dev/null
}

# catalogue_lines ERRFILE: the program's catalogue reports.
catalogue_lines() {
    grep '^lumora\.catalogue: ' "$1" || true
}

# snapshot DIR: names, sizes, modes, times and contents of everything in DIR.
snapshot() {
    (cd "$1" && find . -printf '%p %s %m %T@\n' | sort && find . -type f -exec md5sum {} + | sort)
}
