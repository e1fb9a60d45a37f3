#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in their own build directory and
# runs each for a bounded time; fails on any crash, failed check, hang, leak,
# memory blow-up or sanitizer report.
#
#   fuzz/run.sh [seconds per target] [target...]
#
# Defaults: 60 s each, both targets. The corpus each run grows is kept in the
# build directory (build-fuzz/corpus/<target>), seeded from fuzz/corpus/ and
# reused by the next run; whatever breaks a target is written to
# build-fuzz/artifacts/<target>/ and named in the output. Environment:
#   LUMORA_FUZZ_BUILD_DIR   build directory (default build-fuzz)
#   LUMORA_FUZZ_ARGS        extra libFuzzer flags (e.g. "-jobs=2 -workers=2")
#   LUMORA_FUZZ_NICE        niceness for the fuzzing itself (default 0)
#   LUMORA_FUZZ_PARALLEL    cores to fuzz on (default: all); with one for
#                           each target they run side by side
#   LUMORA_FUZZ_TIMEOUT     seconds one input may take (default 5: the largest
#                           inputs, repeated to the most the program reads,
#                           take a few hundred milliseconds under ASan)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${LUMORA_FUZZ_BUILD_DIR:-$here/build-fuzz}
seconds=${1:-60}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_listfilereader fuzz_playlist)

# Per target: the longest input, the dictionary and the seed corpus. A list
# file's records are cut at 64 Ki characters, but every rule shows in a few
# kilobytes; playlists are read up to 256 KiB, and 16 KiB holds many entries.
declare -A max_len=([fuzz_listfilereader]=8192 [fuzz_playlist]=16384)
declare -A dict=([fuzz_listfilereader]=listfilereader.dict [fuzz_playlist]=playlist.dict)
declare -A seeds=([fuzz_listfilereader]=listfilereader [fuzz_playlist]=playlist)

clang=${LUMORA_FUZZ_CXX:-clang++-14}
command -v "$clang" >/dev/null || { echo "fuzz/run.sh: $clang not found (./lumora.sh fuzz installs it)" >&2; exit 2; }

CC=${clang/clang++/clang} CXX=$clang cmake -S "$here" -B "$build" -DLUMORA_FUZZ=ON \
    -DLUMORA_BUILD_TESTS=OFF -DLUMORA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

# A leak or an error in a library below us is still a failure: nothing here
# talks to fontconfig, Mesa or libmpv, so no suppressions are needed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Runs one target and writes what it found to $build/<target>.report; the
# exit status says whether it is clean.
fuzz_one() {
    local t=$1 corpus=$build/corpus/$1 artifacts=$build/artifacts/$1 log=$build/$1.log
    local report=$build/$1.report rc found
    mkdir -p "$corpus" "$artifacts"
    {
        echo "== $t: ${seconds}s, max_len ${max_len[$t]}, corpus $corpus"
        set +e
        # shellcheck disable=SC2086 # LUMORA_FUZZ_ARGS is a list of flags
        nice -n "${LUMORA_FUZZ_NICE:-0}" "$build/fuzz/$t" \
            -max_total_time="$seconds" -max_len="${max_len[$t]}" -timeout="${LUMORA_FUZZ_TIMEOUT:-5}" -rss_limit_mb=2048 \
            -malloc_limit_mb=2048 -dict="$here/fuzz/${dict[$t]}" -artifact_prefix="$artifacts/" \
            -print_final_stats=1 ${LUMORA_FUZZ_ARGS:-} "$corpus" "$here/fuzz/corpus/${seeds[$t]}" >"$log" 2>&1
        rc=$?
        set -e
        # The last status line: executions, coverage, corpus.
        grep -E '^#[0-9]+' "$log" | tail -n 1 || true
        grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
        # A slow-unit file only says an input once took long on a busy machine;
        # an input that really hangs fails through -timeout.
        found=$(find "$artifacts" -type f ! -name 'slow-unit-*' | head -n 20)
        if [ $rc -ne 0 ] || [ -n "$found" ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
            echo "!! $t failed (exit $rc); log: $log"
            grep -E 'ERROR:|runtime error:|check failed|SUMMARY:' "$log" | head -n 20 || true
            [ -z "$found" ] || printf '   artifact: %s\n' $found
            rc=1
        fi
    } >"$report"
    return "$rc"
}

# With a core for each, the targets run side by side.
for t in "${targets[@]}"; do
    [ -n "${max_len[$t]:-}" ] || { echo "fuzz/run.sh: unknown target $t" >&2; exit 2; }
done
failed=()
if [ "${LUMORA_FUZZ_PARALLEL:-$(nproc)}" -ge ${#targets[@]} ]; then
    declare -A pids=()
    for t in "${targets[@]}"; do
        fuzz_one "$t" &
        pids[$t]=$!
    done
    for t in "${targets[@]}"; do
        wait "${pids[$t]}" || failed+=("$t")
        cat "$build/$t.report"
    done
else
    for t in "${targets[@]}"; do
        fuzz_one "$t" || failed+=("$t")
        cat "$build/$t.report"
    done
fi

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}" >&2
    exit 1
fi
echo "fuzzing clean: ${targets[*]}"
