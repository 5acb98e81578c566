#!/usr/bin/env bash
# Loopback download benchmark: `qelo-cli http -o` against `curl -o`, both fetching the same file
# (256 MiB by default) from a local nginx started here (foreground, temporary config and
# directories, a free 127.0.0.1 port) and stopped at the end. Each run writes the file to tmpfs
# (/dev/shm) and to a disk directory (DISK_DIR, the build directory by default); the tool order
# alternates from run to run. Every output's sha256 is checked, then the output is removed.
# Times come from bench/timed_run.py: monotonic wall clock and the child's own CPU time, both
# to the microsecond. Prints every run, then per target the median MiB/s and CPU ms per MiB of
# each tool and qelo-cli's ratios to curl.
#
#   bench/http_download.sh [PATH/TO/qelo-cli] [RUNS] [SIZE_MIB]
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
QELO_CLI=${1:-"$BENCH_DIR/../build/bin/qelo-cli"}
RUNS=${2:-5}
SIZE_MIB=${3:-256}
NGINX=${NGINX:-/usr/sbin/nginx}
DISK_DIR=${DISK_DIR:-"$(dirname "$QELO_CLI")/.."}
# shellcheck source=bench/local_nginx.sh
source "$BENCH_DIR/local_nginx.sh"

[[ -x "$QELO_CLI" ]] || { echo "qelo-cli not found at $QELO_CLI" >&2; exit 2; }
[[ -x "$NGINX" ]] || { echo "nginx not found at $NGINX (scripts/setup installs it)" >&2; exit 2; }
for tool in curl sha256sum python3; do
  command -v "$tool" >/dev/null || { echo "$tool not found (scripts/setup installs it)" >&2; exit 2; }
done

WORK=$(mktemp -d /tmp/qelo-http-bench.XXXXXX)
SHM_OUT=$(mktemp -d /dev/shm/qelo-http-bench.XXXXXX)
DISK_OUT=$(mktemp -d "$DISK_DIR/qelo-http-bench.XXXXXX")
cleanup() {
  stop_local_nginx
  rm -rf "$WORK" "$SHM_OUT" "$DISK_OUT"
}
trap cleanup EXIT INT TERM

start_local_nginx "$WORK" "$SIZE_MIB" 1
EXPECTED_SUM=$(sha256sum <"$SERVED" | cut -d' ' -f1)

# run_tool TOOL DIR: one timed download into DIR/out.bin, checked and removed; prints
# "wall_s user_s sys_s".
run_tool() {
  local tool=$1 dir=$2 cmd sum
  rm -f "$dir/out.bin"
  sync  # the previous run's dirty pages are not written back during this one
  case $tool in
    qelo) cmd=("$QELO_CLI" http -o "$dir/out.bin" "$URL") ;;
    curl) cmd=(curl -s -o "$dir/out.bin" "$URL") ;;
  esac
  "$BENCH_DIR/timed_run.py" "$WORK/log.txt" "${cmd[@]}" >"$WORK/time.txt" || {
    echo "$tool failed:" >&2
    cat "$WORK/log.txt" >&2
    return 1
  }
  sum=$(sha256sum <"$dir/out.bin" | cut -d' ' -f1)
  [[ "$sum" == "$EXPECTED_SUM" ]] || { echo "$tool: output in $dir differs" >&2; return 1; }
  rm -f "$dir/out.bin"
  cat "$WORK/time.txt"
}

RESULTS="$WORK/results.txt"
: >"$RESULTS"
printf '%-5s %-5s %4s %10s %9s %9s %8s %11s\n' \
  target tool run wall_ms user_ms sys_ms MiB/s CPU_ms/MiB
for run in $(seq "$RUNS"); do
  # The order alternates, so neither tool always runs first or right after the other.
  if ((run % 2)); then order=(qelo curl); else order=(curl qelo); fi
  for target in shm disk; do
    dir=$SHM_OUT
    [[ $target == disk ]] && dir=$DISK_OUT
    for tool in "${order[@]}"; do
      timing=$(run_tool "$tool" "$dir")
      read -r wall user sys <<<"$timing"
      echo "$target $tool $run $wall $user $sys" >>"$RESULTS"
      awk -v t="$target" -v n="$tool" -v r="$run" -v w="$wall" -v u="$user" -v s="$sys" \
        -v mib="$SIZE_MIB" 'BEGIN {
          printf "%-5s %-5s %4d %10.3f %9.3f %9.3f %8.1f %11.3f\n",
                 t, n, r, w * 1000, u * 1000, s * 1000, mib / w, (u + s) * 1000 / mib }'
    done
  done
done

"$BENCH_DIR/download_summary.py" "$RESULTS" "$SIZE_MIB" qelo curl:0.90
