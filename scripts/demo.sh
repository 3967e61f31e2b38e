#!/usr/bin/env bash
# The demo grows with the suite. For now it shows what is built.
set -euo pipefail
build=$1
echo "vrkt7x demo"
echo
echo "Built so far:"
ls -1 "$build/lib" 2>/dev/null | sed 's/^/  lib\//'
echo
echo "The fingerprint library, its simulated printer and the two programs are being built issue by"
echo "issue; this demo will walk through them against simulated printers once they exist."
