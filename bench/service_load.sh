#!/usr/bin/env bash
# Load test of qelo-service against a fresh 50,000-row index on loopback: an open-loop run of
# search requests at 200 req/s (goal: p99 under 20 ms), then a saturation run, then wrk with
# keep-alive when wrk is installed. Stops the service and removes its files when done.
# Environment: BUILD_DIR (default build), RATE (200), SECONDS_OPEN (10), SECONDS_SAT (5).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${BUILD_DIR:-build}
service=$build_dir/bin/qelo-service
load=$build_dir/bench/service_load
[[ -x $service && -x $load ]] || { echo "build qelo-service and service_load first" >&2; exit 1; }

work=$(mktemp -d)
pid=
cleanup() {
  if [[ -n $pid ]]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$service" --listen 127.0.0.1:0 --db "$work/index.db" --seed-rows 50000 --skins "$work" \
  >"$work/url" 2>"$work/service.log" &
pid=$!
for _ in $(seq 600); do [[ -s $work/url ]] && break; sleep 0.1; done
url=$(head -n1 "$work/url")
[[ -n $url ]] || { echo "qelo-service did not start" >&2; cat "$work/service.log" >&2; exit 1; }
port=${url##*:}; port=${port%/}
head -n1 "$work/service.log"

"$load" --port "$port" --rate "${RATE:-200}" --seconds "${SECONDS_OPEN:-10}"
"$load" --port "$port" --saturate --connections 8 --seconds "${SECONDS_SAT:-5}"
if command -v wrk >/dev/null; then
  echo "wrk, HTTP/1.1 keep-alive, 8 connections, one Chinese two-character word:"
  wrk -t2 -c8 -d"${SECONDS_SAT:-5}"s --latency -s bench/service_load.lua "$url" |
    grep -E 'Requests/sec|50%|99%'
fi
