#!/bin/bash
# run_fuzz.sh BUILD_DIR SECONDS [TARGET...]
# Runs each fuzz target (default: every fuzz/<target>.cmake) for SECONDS with libFuzzer, seeded
# from fuzz/corpus/<target>; new inputs and findings go to BUILD_DIR/fuzz-runs/<target>/ (never
# into the committed corpus). Fails when a target finds a crash, a leak, a time-out or runs out
# of memory, and prints the reproducer's path.
set -u
build=$1 seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
    for list in "$here"/*.cmake; do targets+=("$(basename "$list" .cmake)"); done
fi
# AddressSanitizer keeps freed memory in quarantine to catch late uses; its default of 256 MB
# makes every allocation land on cold memory and costs the targets about a third of their speed.
# 64 MB still holds many inputs' worth of freed memory. Settings given by the caller come last
# and win.
export ASAN_OPTIONS="quarantine_size_mb=64${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
failed=0
for target in "${targets[@]}"; do
    binary="$build/fuzz/$target"
    runs="$build/fuzz-runs/$target"
    mkdir -p "$runs/corpus" "$runs/findings"
    echo "== $target: ${seconds}s"
    "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$runs/findings/" "$runs/corpus" "$here/corpus/$target" \
        >"$runs/log.txt" 2>&1
    status=$?
    grep -E "^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)" \
        "$runs/log.txt"
    if [[ $status -ne 0 ]]; then
        failed=1
        echo "FAILED: $target (exit $status), log $runs/log.txt"
        grep -E "^(artifact_prefix|Test unit written to)" "$runs/log.txt" | sed 's/^/  /'
    fi
done
exit $failed
