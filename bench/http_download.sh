#!/usr/bin/env bash
# Loopback download benchmark: `qelo-cli http -o` against `curl -o`, both fetching the same
# 256 MiB file from a local nginx started here (foreground, temporary config and directories,
# a free 127.0.0.1 port) and stopped at the end. Prints per-run wall and CPU seconds, the
# median throughput of each and their ratio.
#
#   bench/http_download.sh [PATH/TO/qelo-cli] [RUNS] [SIZE_MIB]
set -euo pipefail

QELO_CLI=${1:-"$(dirname "$0")/../build/bin/qelo-cli"}
RUNS=${2:-5}
SIZE_MIB=${3:-256}
NGINX=${NGINX:-/usr/sbin/nginx}
# shellcheck source=bench/local_nginx.sh
source "$(dirname "$0")/local_nginx.sh"

[[ -x "$QELO_CLI" ]] || { echo "qelo-cli not found at $QELO_CLI" >&2; exit 2; }
[[ -x "$NGINX" ]] || { echo "nginx not found at $NGINX" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl not found" >&2; exit 2; }

WORK=$(mktemp -d /tmp/qelo-http-bench.XXXXXX)
cleanup() {
  stop_local_nginx
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

start_local_nginx "$WORK" "$SIZE_MIB" 1
EXPECTED_SUM=$(md5sum <"$SERVED" | cut -d' ' -f1)

# One timed run: prints "wall user sys".
timed() {
  /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "$@" >/dev/null 2>"$WORK/stderr.txt" || {
    cat "$WORK/stderr.txt" >&2
    return 1
  }
  cat "$WORK/time.txt"
}

check_output() {
  local sum
  sum=$(md5sum < "$WORK/out.bin" | cut -d' ' -f1)
  [[ "$sum" == "$EXPECTED_SUM" ]] || { echo "$1: downloaded file differs" >&2; exit 1; }
}

declare -a QELO_RATES CURL_RATES
printf '%-6s %4s %8s %8s %8s %10s\n' tool run wall_s user_s sys_s MiB_per_s
for run in $(seq "$RUNS"); do
  for tool in qelo curl; do
    rm -f "$WORK/out.bin"
    if [[ $tool == qelo ]]; then
      read -r wall user sys < <(timed "$QELO_CLI" http -o "$WORK/out.bin" "$URL")
    else
      read -r wall user sys < <(timed curl -s -o "$WORK/out.bin" "$URL")
    fi
    check_output "$tool"
    rate=$(python3 -c "print(f'{$SIZE_MIB / max($wall, 0.001):.1f}')")
    printf '%-6s %4d %8s %8s %8s %10s\n' "$tool" "$run" "$wall" "$user" "$sys" "$rate"
    if [[ $tool == qelo ]]; then QELO_RATES+=("$rate"); else CURL_RATES+=("$rate"); fi
  done
done

python3 - "${QELO_RATES[*]}" "${CURL_RATES[*]}" <<'EOF'
import statistics, sys
qelo = [float(x) for x in sys.argv[1].split()]
curl = [float(x) for x in sys.argv[2].split()]
mq, mc = statistics.median(qelo), statistics.median(curl)
print(f"median MiB/s: qelo-cli {mq:.1f}  curl {mc:.1f}  ratio {mq / mc:.2f} (goal >= 0.90)")
EOF
