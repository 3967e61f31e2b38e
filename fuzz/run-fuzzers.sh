#!/usr/bin/env bash
# run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
# Runs each libFuzzer target of BUILD_DIR (configured with VRKT_FUZZ=ON) for SECONDS seconds, one
# after the other. New inputs go to BUILD_DIR/fuzz/corpus/<target> (the seeds in fuzz/corpus and
# the regression files are read, never written); crashes to BUILD_DIR/fuzz/crashes/<target>/.
# Prints the executions and the findings per target; exits 1 when anything crashed.
set -uo pipefail
build=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
bin="$build/fuzz/bin"

# Longest input per target (libFuzzer's default follows the largest seed).
max_len() {
    case $1 in
    database_file) echo 16384 ;;
    fdl_update) echo 4913 ;;   # eight records and a partial one
    import_file) echo 8192 ;;
    getr_export) echo 8192 ;;
    *) echo 4096 ;;
    esac
}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$bin"/fuzz_*; do targets+=("$(basename "$f" | sed 's/^fuzz_//')"); done
fi

export ASAN_OPTIONS=detect_leaks=1:verify_asan_link_order=0
export LSAN_OPTIONS=suppressions=$root/tests/lsan.supp
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

status=0
summary=()
for t in "${targets[@]}"; do
    work="$build/fuzz/corpus/$t"
    crashes="$build/fuzz/crashes/$t"
    log="$build/fuzz/logs/$t.log"
    mkdir -p "$work" "$crashes" "$(dirname "$log")"
    echo "== $t: ${seconds}s"
    # libFuzzer refuses a corpus folder that does not exist, and git keeps no empty folder: a
    # target without seeds or regression files yet has none in a fresh clone.
    inputs=("$work")
    for d in "$root/fuzz/corpus/$t" "$root/fuzz/regressions/$t"; do
        [ -d "$d" ] && inputs+=("$d")
    done
    "$bin/fuzz_$t" "${inputs[@]}" \
        -max_total_time="$seconds" -max_len="$(max_len "$t")" -timeout=25 -rss_limit_mb=4096 \
        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$crashes/" >"$log" 2>&1
    rc=$?
    execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
    found=$(find "$crashes" -type f | wc -l)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    summary+=("$(printf '%-18s %12s executions  %-10s  %s crash files' "$t" "${execs:-?}" "${cov:-cov: ?}" "$found")")
    if [ $rc -ne 0 ] || [ "$found" -gt 0 ]; then
        status=1
        echo "   finding: see $log and $crashes/"
        grep -m1 -E 'ERROR: |fuzz check failed|runtime error' "$log" | sed 's/^/   /'
    fi
done

echo
echo "== executions per target (${seconds}s each)"
printf '%s\n' "${summary[@]}"
if [ $status -ne 0 ]; then
    echo "Something crashed. Once mended, copy the crash file into fuzz/regressions/<target>/ so that"
    echo "every test run replays it."
fi
exit $status
