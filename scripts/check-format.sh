#!/usr/bin/env bash
# Checks that every C++ file of the tree is formatted as .clang-format says (the distribution's
# clang-format). With --fix, formats them in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! clang-format --dry-run --Werror "${files[@]}" 2>"$log"; then
    grep 'error:' "$log" | sed 's/: error:.*//' | sort -u | head -n 20 >&2
    echo "formatting: the files above differ from .clang-format; scripts/check-format.sh --fix formats them" >&2
    exit 1
fi
