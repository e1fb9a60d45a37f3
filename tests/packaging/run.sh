#!/usr/bin/env bash
# run.sh SOURCE BUILD TITLE: `./lumora.sh run` starts the demonstration server
# and the player on data/, and leaves nothing running behind it, whether the
# player is closed, killed, the script is interrupted, or the server cannot
# start. Runs in the desktop session of the suite (a window manager closes
# the window as a user's would).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_display "$@"

source_dir=$(readlink -f "$1")
build=$(readlink -f "$2")
title=$3
port=8931
user_env
need_free_port $port

# start_run: `lumora.sh run` on the suite's build; sets launcher_pid,
# player_pid and window once the window is up.
start_run() {
    # Its own process group, as in a terminal, with Ctrl+C not ignored (a
    # background job of a script would ignore it).
    LUMORA_BUILD_DIR=$build setsid env --default-signal=INT "$source_dir/lumora.sh" run >"$scratch/run.out" 2>"$scratch/run.err" </dev/null &
    launcher_pid=$!
    started+=("$launcher_pid")
    launcher_err=$scratch/run.err
    wait_for_player "$title"
}

# The processes the run started: all of them are in the session that setsid
# made for it.
left_behind() {
    local pid
    for pid in $(pgrep -s "$launcher_pid" || true); do
        echo "$pid ($(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)) $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    done
}

# What the run left: given a moment, as a process the script has just ended
# may still be on its way out (under the sanitizers, with the helper that
# symbolizes its leak check).
still_left() {
    local tenths left first=
    for ((tenths = 0; tenths < 100; tenths++)); do
        left=$(left_behind)
        if [ -z "$left" ]; then
            [ -z "$first" ] || echo "note: gone within $tenths tenths of a second: $first" >&2
            return 0
        fi
        first=${first:-$left}
        sleep 0.1
    done
    echo "$left"
}

expect_clean() {
    wait_gone "$launcher_pid" || fail "$1: lumora.sh run did not end"
    local left
    left=$(still_left)
    [ -z "$left" ] || fail "$1: left running: $left"
    [ -z "$(http_reply $port)" ] || fail "$1: something still answers on port $port"
}

server_of_run() {
    pgrep -f "$build/tools/demo-server/lumora-demo-server --port $port" | head -n 1
}

# --- The user closes the window.
start_run
[ -n "$(server_of_run)" ] || fail "no demonstration server beside the player"
[ "$(readlink "/proc/$player_pid/cwd")" = "$source_dir/data" ] || fail "the player does not run in data/"
case $(http_reply $port) in *lumora-demo-server*) ;; *) fail "the demonstration server does not answer" ;; esac
wmctrl -i -c "$window"
expect_clean "closed"
status=0
wait "$launcher_pid" || status=$?
[ $status -eq 0 ] || fail "closed: lumora.sh run ended with $status; stderr: $(cat "$scratch/run.err"); stdout: $(tail -n 20 "$scratch/run.out")"
pass "closed window: the player and the server are gone, exit status 0"

# --- The player is killed.
start_run
kill -KILL "$player_pid"
expect_clean "player killed"
pass "killed player: the server went with it"

# --- The script itself is interrupted: Ctrl+C in its terminal signals the
# whole process group (TERM and HUP take the same way out).
start_run
kill -INT -- "-$launcher_pid"
expect_clean "script interrupted"
pass "interrupted script: the player and the server are gone"

# --- The server cannot start: the port is taken by another program.
/usr/bin/python3 -c '
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen()
time.sleep(3600)' "$port" &
blocker=$!
started+=("$blocker")
for ((i = 0; i < 50; i++)); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.1
done
start_run
grep -q "demonstration server did not start" "$scratch/run.err" ||
    fail "no word that the server did not start; stderr: $(cat "$scratch/run.err")"
[ -z "$(server_of_run)" ] || fail "a server runs although the port is taken"
wmctrl -i -c "$window"
wait_gone "$launcher_pid" || fail "port taken: lumora.sh run did not end"
left=$(still_left)
[ -z "$left" ] || fail "port taken: left running: $left"
kill "$blocker"
pass "server cannot start: said so, the player still opened, nothing left behind"
