#!/usr/bin/env bash
# install.sh SOURCE BUILD STAGE: installs the build into the staging prefix STAGE, as
# a user without root would, and checks what lands where.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

source_dir=$(readlink -f "$1")
build=$(readlink -f "$2")
stage=$(readlink -m "$3")
id=org.example.lumora

rm -rf -- "$stage"
cmake --install "$build" --prefix "$stage" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install into $stage"; }

# Nothing outside the prefix: that is what lets it work without root.
manifest=$build/install_manifest.txt
[ -s "$manifest" ] || fail "no install manifest"
outside=$(grep -v "^$stage/" "$manifest" || true)
[ -z "$outside" ] || fail "installed outside the prefix: $outside"
pass "installed $(wc -l <"$manifest") files, all under the prefix"

expect_file() {
    local path=$1 mode=${2:-}
    [ -f "$stage/$path" ] || fail "missing $path"
    if [ -n "$mode" ]; then
        [ "$(stat -c %a "$stage/$path")" = "$mode" ] || fail "$path has mode $(stat -c %a "$stage/$path"), not $mode"
    fi
}
expect_file bin/lumora 755
expect_file libexec/lumora/lumora 755
expect_file libexec/lumora/lumora-demo-server 755
expect_file share/applications/$id.desktop 644
expect_file share/metainfo/$id.metainfo.xml 644
expect_file share/icons/hicolor/scalable/apps/$id.svg 644
for file in "${list_files[@]}"; do
    expect_file "share/lumora/demo/$file" 644
done
pass "launcher, program, server, desktop entry, metainfo, icon and the seventeen demonstration files"

# The launcher is a script; what it starts is the program itself, unchanged.
head -n 1 "$stage/bin/lumora" | grep -q '^#!/bin/bash' || fail "bin/lumora is not the launcher script"
cmp -s "$build/app/lumora" "$stage/libexec/lumora/lumora" || fail "libexec/lumora/lumora is not the built program"
cmp -s "$build/tools/demo-server/lumora-demo-server" "$stage/libexec/lumora/lumora-demo-server" ||
    fail "libexec/lumora/lumora-demo-server is not the built server"
bash -n "$stage/bin/lumora" || fail "the launcher does not parse"
pass "bin/lumora is the launcher, libexec holds the built program and server"

# The demonstration catalogue is the bundled one, byte for byte (GBK, CR LF).
diff -r -x README.md "$source_dir/data" "$stage/share/lumora/demo" >/dev/null ||
    fail "share/lumora/demo differs from data/"
pass "share/lumora/demo is data/"

png=$stage/share/icons/hicolor/256x256/apps/$id.png
if [ -f "$png" ]; then
    file -b "$png" | grep -q '^PNG image data, 256 x 256,' || fail "the PNG icon is not 256 x 256: $(file -b "$png")"
    pass "256-pixel PNG icon"
elif command -v rsvg-convert >/dev/null; then
    fail "rsvg-convert is there but no PNG icon was installed"
fi
