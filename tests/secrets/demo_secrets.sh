#!/usr/bin/env bash
# demo_secrets.sh BUILD_DIR - runs the README demonstration headless on the
# programs of BUILD_DIR and scans everything it wrote, its standard output
# included, for card secrets (scan_outputs.py). Fails on any finding, and when
# the demonstration itself fails or writes nothing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "$1" && pwd)"
out="$(mktemp -d /tmp/demo-secrets-XXXXXX)"
trap 'rm -rf "$out"' EXIT
status=0
DEMO_BUILD="$build" DEMO_OUT="$out/demo" "$here/scripts/demo" --headless >"$out/stdout.txt" 2>&1 || status=$?
mv "$out/stdout.txt" "$out/demo/demo-stdout.txt" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  tail -n 30 "$out/demo/demo-stdout.txt" "$out/stdout.txt" 2>/dev/null || true
  echo "demo_secrets: the demonstration failed (status $status)"
  exit 1
fi
# The demonstration must have reached its end for the scan to mean anything.
grep -q "approved and advised" "$out/demo/demo-stdout.txt" || { echo "demo_secrets: no ledger summary"; exit 1; }
python3 "$here/tests/secrets/scan_outputs.py" "$out/demo" "$here/tools/switchsim/switch.cpp"
