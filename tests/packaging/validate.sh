#!/usr/bin/env bash
# validate.sh STAGE VERSION: the installed desktop entry and AppStream
# metainfo pass their validators and agree with each other and with what is
# installed beside them.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

stage=$(readlink -f "$1")
version=$2
id=org.example.lumora
desktop=$stage/share/applications/$id.desktop
metainfo=$stage/share/metainfo/$id.metainfo.xml

command -v desktop-file-validate >/dev/null || fail "desktop-file-validate is missing (desktop-file-utils)"
command -v appstreamcli >/dev/null || fail "appstreamcli is missing (appstream)"

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
# It exits 0 on hints too; any line it prints is a finding.
[ -z "$out" ] || fail "desktop-file-validate: $out"
pass "desktop-file-validate"

out=$(appstreamcli validate --no-net --explain "$metainfo" 2>&1) || fail "appstreamcli validate: $out"
pass "appstreamcli validate"

# key NAME: the value of NAME in the [Desktop Entry] group.
key() {
    awk -v key="$1" -F= '
        /^\[/ { group = $0; next }
        group == "[Desktop Entry]" && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$desktop"
}

# The Chinese name and comment lead the entry.
first=$(grep -v '^\[' "$desktop" | head -n 4 | cut -d= -f1 | paste -sd' ')
[ "$first" = "Name Name[zh_CN] GenericName GenericName[zh_CN]" ] || fail "the entry starts with $first"
[ "$(key 'Name[zh_CN]')" = "Lumora 网络广播电视" ] || fail "Name[zh_CN] is '$(key 'Name[zh_CN]')'"
[ -n "$(key 'Comment[zh_CN]')" ] || fail "no Comment[zh_CN]"
[ "$(key Categories)" = "AudioVideo;Audio;Video;Player;TV;" ] || fail "Categories=$(key Categories)"
key Keywords | grep -q 'radio' || fail "no English keywords"
key 'Keywords[zh_CN]' | grep -q '广播' || fail "no Chinese keywords"
pass "Chinese name, comment, categories and keywords"

# What the entry starts and shows is installed.
exec_name=$(key Exec)
[ "$exec_name" = lumora ] || fail "Exec=$exec_name"
[ -x "$stage/bin/$exec_name" ] || fail "Exec names $exec_name, not installed in bin/"
[ "$(key Icon)" = "$id" ] || fail "Icon=$(key Icon)"
[ -f "$stage/share/icons/hicolor/scalable/apps/$(key Icon).svg" ] || fail "no scalable icon named $(key Icon)"
# Without it a menu could not match the program's window, whose class is its
# binary name, to the entry.
[ "$(key StartupWMClass)" = lumora ] || fail "StartupWMClass=$(key StartupWMClass)"
pass "Exec, Icon and StartupWMClass match what is installed"

# The metainfo names this entry and this release.
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launchable is not $id.desktop"
grep -q "<release version=\"$version\" date=\"[0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}\"" "$metainfo" || fail "no release $version with a date"
grep -q '<content_rating type="oars-1.1"' "$metainfo" || fail "no content rating"
grep -q '<screenshot type="default">' "$metainfo" || fail "no default screenshot"
grep -q '@[A-Z_]*@' "$metainfo" && fail "unconfigured placeholders: $(grep -o '@[A-Z_]*@' "$metainfo" | sort -u | paste -sd' ')"
pass "metainfo: id, launchable, release $version, content rating, screenshot"
