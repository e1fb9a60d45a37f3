#!/usr/bin/env bash
# launcher.sh STAGE TITLE: the installed launcher starts the installed program
# in the right catalogue folder, with the demonstration server only when it
# needs one, and leaves nothing running behind it.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_display "$@"

stage=$(readlink -f "$1")
title=$2
launcher=$stage/bin/lumora
program=$stage/libexec/lumora/lumora
demo=$stage/share/lumora/demo
port=8931
user_env

need_free_port $port

# check_player DIR: the window is the installed program's and it runs in DIR.
check_player() {
    [ "$(readlink "/proc/$player_pid/exe")" = "$(readlink -f "$program")" ] ||
        fail "the window belongs to $(readlink "/proc/$player_pid/exe"), not $program"
    [ "$(readlink "/proc/$player_pid/cwd")" = "$(readlink -f "$1")" ] ||
        fail "the program runs in $(readlink "/proc/$player_pid/cwd"), not $1"
}

# end_player: ends the program as a closed session would and waits for the
# launcher; sets launcher_status.
end_player() {
    kill -TERM "$player_pid"
    wait_gone "$launcher_pid" || fail "the launcher outlived the program"
    launcher_status=0
    wait "$launcher_pid" || launcher_status=$?
}

# --- The user's own catalogue, in $XDG_DATA_HOME/lumora.
user=$XDG_DATA_HOME/lumora
make_user_catalogue "$user"
before=$(snapshot "$user")
start_launcher "$launcher" "$scratch/user.err"
wait_for_player "$title"
check_player "$user"
# The launcher has become the program: nothing of it is left to start a server.
[ "$player_pid" = "$launcher_pid" ] || fail "the launcher did not hand over to the program"
[ -z "$(child_named "$launcher_pid" lumora-demo-ser)" ] || fail "a demonstration server runs beside a user catalogue"
end_player
reports=$(catalogue_lines "$scratch/user.err")
expected='lumora.catalogue: 列表文件 "gb/ah.txt" 第 2 条记录（第 2 行）只有 2 个字段（至少要 3 个，用“|”分隔），已跳过'
[ "$reports" = "$expected" ] || fail "catalogue reports for the user catalogue: [$reports]"
[ "$(snapshot "$user")" = "$before" ] || fail "the user's folder changed"
pass "user catalogue in \$XDG_DATA_HOME/lumora: loaded there, its one report, folder untouched, no server"

# --- A relative XDG_DATA_HOME is ignored, as XDG says: ~/.local/share is used.
home_user=$HOME/.local/share/lumora
rm -rf -- "$user"
mkdir -p "$scratch/relative/lumora"
make_user_catalogue "$scratch/relative/lumora"
make_user_catalogue "$home_user"
data_home=$XDG_DATA_HOME
cd "$scratch"
export XDG_DATA_HOME=relative
start_launcher "$launcher" "$scratch/home.err"
wait_for_player "$title"
check_player "$home_user"
end_player
export XDG_DATA_HOME=$data_home
pass "relative XDG_DATA_HOME: ~/.local/share/lumora is used"

# --- No list file in the user's folder: the demonstration catalogue, with a
# server started for it and stopped with the player.
rm -rf -- "$home_user"
mkdir -p "$user"
echo "notes, not a list file" >"$user/notes.txt"
before=$(snapshot "$XDG_DATA_HOME")
start_launcher "$launcher" "$scratch/demo.err"
wait_for_player "$title"
check_player "$demo"
server_pid=$(child_named "$launcher_pid" lumora-demo-ser)
[ -n "$server_pid" ] || fail "no demonstration server beside the demonstration catalogue"
[ "$(readlink "/proc/$server_pid/exe")" = "$(readlink -f "$stage/libexec/lumora/lumora-demo-server")" ] ||
    fail "the server is not the installed one"
http_reply $port | grep -q '^Server: lumora-demo-server' || fail "the demonstration server does not answer on $port"
end_player
wait_gone "$server_pid" || fail "the demonstration server outlived the player"
[ "$launcher_status" = 143 ] || fail "the launcher returned $launcher_status, not the program's 143"
reports=$(catalogue_lines "$scratch/demo.err")
[ -z "$reports" ] || fail "the demonstration catalogue was reported on: $reports"
[ "$(snapshot "$XDG_DATA_HOME")" = "$before" ] || fail "the launcher wrote into \$XDG_DATA_HOME"
pass "no user catalogue: demonstration catalogue without a report, its server started and stopped"

# --- Installed with the prefix ~/.local, the demonstration catalogue lies in
# the user's folder's demo/; that alone is no user catalogue.
data_home=$XDG_DATA_HOME
export XDG_DATA_HOME=$stage/share
start_launcher "$launcher" "$scratch/local.err"
wait_for_player "$title"
check_player "$demo"
# This time the launcher is told to stop, as at the end of a session: it
# takes the player and the server with it.
server_pid=$(child_named "$launcher_pid" lumora-demo-ser)
[ -n "$server_pid" ] || fail "no demonstration server for the ~/.local install"
kill -TERM "$launcher_pid"
wait_gone "$launcher_pid" || fail "the launcher did not stop when told to"
wait_gone "$player_pid" || fail "the player outlived its launcher"
wait_gone "$server_pid" || fail "the server outlived its launcher"
export XDG_DATA_HOME=$data_home
pass "prefix ~/.local: demo/ inside the user's folder is no user catalogue; stopping the launcher stops both"

# --- A server already on the port is used, not doubled, and left running.
"$stage/libexec/lumora/lumora-demo-server" --port $port >"$scratch/own-server.out" 2>"$scratch/own-server.err" &
own_server=$!
started+=("$own_server")
for ((tenths = 0; tenths < 300; tenths++)); do
    grep -q '^listening on ' "$scratch/own-server.out" && break
    kill -0 "$own_server" 2>/dev/null || fail "the test's own server did not start: $(cat "$scratch/own-server.err")"
    sleep 0.1
done
start_launcher "$launcher" "$scratch/shared.err"
wait_for_player "$title"
check_player "$demo"
[ -z "$(child_named "$launcher_pid" lumora-demo-ser)" ] || fail "a second server was started"
end_player
kill -0 "$own_server" 2>/dev/null || fail "the launcher stopped a server it had not started"
http_reply $port | grep -q '^Server: lumora-demo-server' || fail "the running server stopped answering"
kill -TERM "$own_server"
wait "$own_server" || true
pass "a server already on port $port: used and left running"

# --- A server that never says it listens holds the player up for a bounded
# time only, and one that cannot start at all does not stop the player.
fake=$scratch/fake
mkdir -p "$fake/bin" "$fake/libexec/lumora" "$fake/share/lumora"
cp "$launcher" "$fake/bin/lumora"
ln -s "$(readlink -f "$program")" "$fake/libexec/lumora/lumora"
ln -s "$(readlink -f "$demo")" "$fake/share/lumora/demo"
for mode in hang fail; do
    case $mode in
    hang) printf '#!/bin/sh\nexec sleep 60\n' ;;
    fail) printf '#!/bin/sh\necho "cannot start" >&2\nexit 1\n' ;;
    esac >"$fake/libexec/lumora/lumora-demo-server"
    chmod 755 "$fake/libexec/lumora/lumora-demo-server"
    export LUMORA_DEMO_SERVER_WAIT=1
    start_launcher "$fake/bin/lumora" "$scratch/$mode.err"
    wait_for_player "$title"
    check_player "$demo"
    stub=$(child_named "$launcher_pid" sleep)
    end_player
    case $mode in
    hang)
        [ -n "$stub" ] || fail "the hanging server was not left to finish"
        wait_gone "$stub" || fail "the hanging server outlived the player"
        grep -q '1 秒内没有就绪' "$scratch/hang.err" || fail "no word of the slow server: $(cat "$scratch/hang.err")"
        ;;
    fail)
        grep -q '演示流媒体服务器没有启动' "$scratch/fail.err" || fail "no word of the failed server: $(cat "$scratch/fail.err")"
        ;;
    esac
    unset LUMORA_DEMO_SERVER_WAIT
done
pass "a server that hangs or fails: the player starts anyway and nothing is left running"
