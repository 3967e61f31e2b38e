#!/usr/bin/env bash
# check-runner.sh RUNNER
# Runs the fuzz runner the way a fresh clone has it, against stand-ins for two libFuzzer targets:
# one with seed and regression folders (getr_export) and one with neither (git keeps no empty
# folder). Each stand-in refuses a folder that does not exist, as libFuzzer does, and records what
# it was given. Passes when the runner succeeds and gave getr_export both of its folders.
set -euo pipefail
runner=$1
root=$(cd "$(dirname "$runner")/.." && pwd)
build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
mkdir -p "$build/fuzz/bin"
for t in getr_export without_folders; do
    cat >"$build/fuzz/bin/fuzz_$t" <<STUB
#!/bin/sh
for a in "\$@"; do
    case "\$a" in
    -*) ;;
    *) [ -d "\$a" ] || { echo "No such file or directory: \$a; exiting"; exit 1; }
       echo "\$a" >>"$build/$t.folders" ;;
    esac
done
echo "stat::number_of_executed_units: 1"
STUB
    chmod +x "$build/fuzz/bin/fuzz_$t"
done
"$runner" "$build" 1 getr_export without_folders
grep -qx "$root/fuzz/corpus/getr_export" "$build/getr_export.folders"
grep -qx "$root/fuzz/regressions/getr_export" "$build/getr_export.folders"
echo "runner: every target ran"
