#!/usr/bin/env bash
# deb.sh BUILD VERSION TITLE: cpack -G DEB builds the package; its control
# data and contents are checked, and the launcher is started from the unpacked
# package (installing it into the system is left to people).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
need_display "$@"

build=$(readlink -f "$1")
version=$2
title=$3
id=org.example.lumora
port=8931

for tool in cpack dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || fail "$tool is missing (dpkg-dev, file)"
done

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack -G DEB"; }
arch=$(dpkg --print-architecture)
deb=$scratch/out/lumora_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb"); cpack made: $(ls "$scratch/out")"
pass "cpack made $(basename "$deb"), $(stat -c %s "$deb") bytes"

field() {
    dpkg-deb -f "$deb" "$1"
}
[ "$(field Package)" = lumora ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Section)" = video ] || fail "Section: $(field Section)"
summary=$(field Description)
summary=${summary%%$'\n'*}
[[ $summary == *"internet radio and TV"* ]] || fail "Description: $summary"
# Dependencies: found by shlibdeps from the two executables, and those no
# linker sees (the platform plugins, a Chinese font, the media tools).
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//')
for package in libc6 libstdc++6 libmpv2 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
    libqt6opengl6 qt6-qpa-plugins ffmpeg espeak-ng; do
    grep -q "^$package\( \|$\)" <<<"$depends" || fail "Depends lacks $package: $(field Depends)"
done
grep -q '^fonts-wqy-microhei' <<<"$depends" || fail "Depends names no Chinese font"
grep -q '^libqt6widgets6 (>= ' <<<"$depends" || fail "Depends has no versions from shlibdeps"
pass "control: lumora $version $arch, Depends: $(field Depends)"

dpkg-deb -c "$deb" | awk '{ print $1, $2, $6 }' >"$scratch/contents"
expect_entry() {
    grep -qx -- "$1 root/root ./usr/$2" "$scratch/contents" || fail "the package lacks $1 root/root /usr/$2"
}
expect_entry -rwxr-xr-x bin/lumora
expect_entry -rwxr-xr-x libexec/lumora/lumora
expect_entry -rwxr-xr-x libexec/lumora/lumora-demo-server
expect_entry -rw-r--r-- share/applications/$id.desktop
expect_entry -rw-r--r-- share/metainfo/$id.metainfo.xml
expect_entry -rw-r--r-- share/icons/hicolor/scalable/apps/$id.svg
for file in "${list_files[@]}"; do
    expect_entry -rw-r--r-- "share/lumora/demo/$file"
done
outside=$(awk '$3 !~ /^\.\/usr\// && $3 != "./"' "$scratch/contents")
[ -z "$outside" ] || fail "the package installs outside /usr: $outside"
pass "contents: $(wc -l <"$scratch/contents") entries, all under /usr, owned by root"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
for exe in lumora lumora-demo-server; do
    file -b "$root/usr/libexec/lumora/$exe" | grep -q 'ELF.*, stripped' || fail "$exe is not a stripped executable"
done
pass "the packaged executables are stripped"

# The package carries the demonstration server, not the test stream server:
# no endpoint that fails on purpose, no MMS framing, no playlist that the
# catalogue does not use.
test_paths=(/fail/500 /fail/hang /fail/silence /fail/garbage /fail/drop /fail/redirect /fail/redirect-loop
    /fail/self.m3u /fail/huge-icy /fail/trickle /mms/radio /playlist/radio.wax /playlist/tv.wvx /playlist/tv.m3u)
[ -z "$(find "$root" -name 'lumora-test-stream-server*')" ] || fail "the package contains the test stream server"
for path in /fail/ /mms/ tv.wvx; do
    ! grep -qaF "$path" "$root/usr/libexec/lumora/lumora-demo-server" ||
        fail "the packaged demonstration server knows $path"
done
pass "the packaged demonstration server has no test endpoint"

# The launcher from the unpacked package, for a new user: the demonstration
# catalogue and its server (the user's own catalogue is launcher.sh's).
need_free_port $port
user_env
start_launcher "$root/usr/bin/lumora" "$scratch/demo.err"
wait_for_player "$title"
[ "$(readlink "/proc/$player_pid/exe")" = "$(readlink -f "$root/usr/libexec/lumora/lumora")" ] || fail "the window is not the packaged program's"
[ "$(readlink "/proc/$player_pid/cwd")" = "$(readlink -f "$root/usr/share/lumora/demo")" ] || fail "not started in the packaged catalogue"
server_pid=$(child_named "$launcher_pid" lumora-demo-ser)
[ -n "$server_pid" ] || fail "no demonstration server"
http_reply $port | grep -q '^Server: lumora-demo-server' || fail "the packaged server does not answer on $port"
# Every address of the packaged catalogue plays from it; what only tests use is not there.
addresses=$(cd "$root/usr/share/lumora/demo" && cat "${list_files[@]}" | iconv -f GBK -t UTF-8 |
    grep -o "http://127\.0\.0\.1:$port/[^|\"[:space:]]*" | sort -u)
[ -n "$addresses" ] || fail "no demonstration addresses in the packaged catalogue"
for address in $addresses; do
    status=$(http_status $port "/${address#http://*/}")
    [ "$status" = 200 ] || fail "the packaged server answers ${status:-nothing} for $address"
done
for path in "${test_paths[@]}"; do
    status=$(http_status $port "$path")
    [ "$status" = 404 ] || fail "the packaged server answers ${status:-nothing} for the test path $path"
done
pass "the packaged server serves the catalogue's $(wc -w <<<"$addresses") addresses, and 404 for ${#test_paths[@]} test paths"
kill -TERM "$player_pid"
wait_gone "$launcher_pid" || fail "the launcher outlived the program"
wait_gone "$server_pid" || fail "the server outlived the player"
[ -z "$(catalogue_lines "$scratch/demo.err")" ] || fail "reports on the demonstration catalogue: $(catalogue_lines "$scratch/demo.err")"
pass "unpacked: the launcher starts the packaged program on the demonstration catalogue and its server"
