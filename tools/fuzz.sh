#!/usr/bin/env bash
# Runs one fuzz target for a while: tools/fuzz.sh TARGET SECONDS [libFuzzer options...]
# Targets: adlist pictures seenads watchfile smtpreply settings adstore (tests/fuzz). Builds them with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/, starts from the seed corpus in the repository
# and keeps what it finds new in build-fuzz/corpus/TARGET (the seeds are never changed). A failing input is
# written to build-fuzz/crash-*; run it again with build-fuzz/tests/fuzz/qb_fuzz_TARGET FILE.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
    echo "usage: $0 TARGET SECONDS [libFuzzer options...]" >&2
    exit 2
fi
target=$1
seconds=$2
shift 2
seeds="tests/fuzz/corpus/$target"
if [ ! -d "$seeds" ]; then
    echo "no such fuzz target: $target (see tests/fuzz/corpus)" >&2
    exit 2
fi

if ! command -v clang++ >/dev/null; then
    echo "fuzzing needs clang and its libFuzzer: apt-get install clang" >&2
    exit 2
fi

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CXX=clang++ CC=clang cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target "qb_fuzz_$target" -j"$(nproc)" >/dev/null

mkdir -p "build-fuzz/corpus/$target"
cd build-fuzz
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
exec "./tests/fuzz/qb_fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 "$@" \
    "corpus/$target" "../$seeds"
