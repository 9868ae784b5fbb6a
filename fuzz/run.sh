#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan + UBSan) and runs each one
# for the given number of seconds, starting from the seed corpus in fuzz/corpus.
# Usage: fuzz/run.sh BUILD_DIR SECONDS [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-20}
shift 2 || true

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSORIMBA_FUZZ=ON -DSORIMBA_BENCH=OFF -DSORIMBA_WERROR=ON >/dev/null
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in fuzz/fuzz_*.cpp; do [ -e "$f" ] && targets+=("$(basename "$f" .cpp)"); done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets"; exit 0; }
cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
for t in "${targets[@]}"; do
    name=${t#fuzz_}
    work="$build/corpus/$name"
    mkdir -p "$work" "$build/findings"
    seeds=()
    [ -d "fuzz/corpus/$name" ] && seeds+=("fuzz/corpus/$name")
    echo "== $t for ${seconds}s"
    "$build/$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
        -timeout=10 -artifact_prefix="$build/findings/$name-" "$work" "${seeds[@]}" 2>"$build/$t.log" \
        || { tail -n 60 "$build/$t.log"; echo "fuzz: $t found a problem"; exit 1; }
    grep -E 'stat::number_of_executed_units|stat::average_exec_per_sec' "$build/$t.log" | sed "s/^/  $t /"
done
echo "fuzz: ${#targets[@]} targets ran ${seconds}s each without a finding"
