#!/bin/sh
# compare.sh - our codec's purchase round trip against the npm package iso_8583
# on the same message in the same run: pack, unpack and round trips per second
# for both, and the ratio.
#   bench/iso8583/compare.sh BUILD/bench/iso8583/bench_iso8583 [SECONDS]
# The package is installed into a scratch folder (PEER_DIR to reuse one) and
# never into the repository.
set -eu
bench=${1:?usage: compare.sh PATH/TO/bench_iso8583 [SECONDS]}
seconds=${2:-1}
here=$(cd "$(dirname "$0")" && pwd)
[ -x "$bench" ] || { echo "compare.sh: $bench is not a program" >&2; exit 2; }
command -v node >/dev/null || { echo "compare.sh: node is needed for the peer" >&2; exit 2; }

peer=${PEER_DIR:-}
if [ -z "$peer" ]; then
  peer=$(mktemp -d)
  trap 'rm -rf "$peer"' EXIT
fi
if [ ! -d "$peer/node_modules/iso_8583" ]; then
  (cd "$peer" && npm install --silent --no-audit --no-fund --no-save iso_8583@2.6.7 >/dev/null)
fi

ours=$("$bench" --benchmark_filter='BM_RoundTrip' --benchmark_min_time="$seconds" --benchmark_format=csv 2>/dev/null)
# csv: name,iterations,real_time,cpu_time,time_unit,bytes_per_second,items_per_second,...
rate() { printf '%s\n' "$ours" | awk -F, -v n="\"$1\"" '$1 == n { printf "%.0f", $7 }'; }
theirs=$(NODE_PATH="$peer/node_modules" node "$here/peer.js" "$seconds")
peer_rate() { printf '%s\n' "$theirs" | awk -v n="$1" '$1 == n { print $2 }'; }

printf '%-10s %14s %14s %8s\n' measure "ours (/s)" "iso_8583 (/s)" ratio
for m in pack unpack roundtrip; do
  case $m in pack) o=$(rate BM_RoundTripPack) ;; unpack) o=$(rate BM_RoundTripUnpack) ;; roundtrip) o=$(rate BM_RoundTrip) ;; esac
  p=$(peer_rate "peer_$m")
  [ -n "$o" ] && [ -n "$p" ] || { echo "compare.sh: no figure for $m" >&2; exit 1; }
  printf '%-10s %14s %14s %8s\n' "$m" "$o" "$p" "$(awk -v a="$o" -v b="$p" 'BEGIN { printf "%.1f", a / b }')"
done
