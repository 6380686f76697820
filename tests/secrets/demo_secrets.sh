#!/usr/bin/env bash
# demo_secrets.sh BUILD_DIR CHARGE_PINS_PROGRAM - runs the README demonstration
# headless on the programs of BUILD_DIR and scans everything it wrote, its
# standard output included, for card secrets (scan_outputs.py). The terminal
# reaches the switch through a loopback relay (switch_tap.py) that copies the
# switch's answers outside the scanned folder; the charge PINs they carried are
# deciphered from that copy (charge_pins), never read from what the run wrote.
# Fails on any finding, and when the demonstration itself fails or writes nothing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "$1" && pwd)"
charge_pins="$2"
out="$(mktemp -d /tmp/demo-secrets-XXXXXX)"
trap 'rm -rf "$out"' EXIT
status=0
DEMO_BUILD="$build" DEMO_OUT="$out/demo" DEMO_SWITCH_TAP="python3 $here/tests/secrets/switch_tap.py $out/frames.bin" \
  "$here/scripts/demo" --headless >"$out/stdout.txt" 2>&1 || status=$?
mv "$out/stdout.txt" "$out/demo/demo-stdout.txt" 2>/dev/null || true
if [ "$status" -ne 0 ]; then
  tail -n 30 "$out/demo/demo-stdout.txt" "$out/stdout.txt" 2>/dev/null || true
  echo "demo_secrets: the demonstration failed (status $status)"
  exit 1
fi
# The demonstration must have reached its end for the scan to mean anything.
grep -q "approved and advised" "$out/demo/demo-stdout.txt" || { echo "demo_secrets: no ledger summary"; exit 1; }

# One charge PIN for every voucher the switch approved.
"$charge_pins" "$out/demo/terminal-data.pinpad" "$out/frames.bin" >"$out/charge-pins.txt"
vouchers="$(grep '"dir":"answer"' "$out/demo/ledger.jsonl" | grep '"voucher_serial"' | grep -c '"rc":"00"' || true)"
pins="$(wc -l <"$out/charge-pins.txt")"
if [ "$vouchers" -eq 0 ] || [ "$pins" -ne "$vouchers" ]; then
  echo "demo_secrets: $pins charge PINs deciphered from the switch's answers for $vouchers approved vouchers"
  exit 1
fi
python3 "$here/tests/secrets/scan_outputs.py" "$out/demo" "$here/tools/switchsim/switch.cpp" "$out/charge-pins.txt"
