#!/usr/bin/env bash
# Two-connection download benchmark on loopback: `qelo-cli download` (two parts) against
# `aria2c -x2 -s2 -k1M` and a single-stream `curl`, all fetching the same file (256 MiB by
# default) from a local nginx started here (foreground, temporary config, a free 127.0.0.1
# port) and stopped at the end. Each run writes the file to tmpfs (/dev/shm) and to a disk
# directory (DISK_DIR, the build directory by default); the tool order rotates from run to
# run. Every output's sha256 is checked, then the output is removed. Times come from
# bench/timed_run.py: monotonic wall clock and the child's own CPU time, both to the
# microsecond. Prints every run, then per target the median MiB/s and CPU ms per MiB of each
# tool and qelo-cli's ratios. Goal: at least aria2c's throughput, with less CPU per MiB.
#
#   bench/download.sh [PATH/TO/qelo-cli] [RUNS] [SIZE_MIB]
set -euo pipefail

BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
QELO_CLI=${1:-"$BENCH_DIR/../build/bin/qelo-cli"}
RUNS=${2:-5}
SIZE_MIB=${3:-256}
DISK_DIR=${DISK_DIR:-"$(dirname "$QELO_CLI")/.."}
# shellcheck source=bench/download_runs.sh
source "$BENCH_DIR/download_runs.sh"

tool_command() {
  local tool=$1 dir=$2
  case $tool in
    qelo) CMD=("$QELO_CLI" download --parts 2 "$URL" "$dir/out.bin") ;;
    aria2c) CMD=(aria2c -x2 -s2 -k1M -q --allow-overwrite=true --auto-file-renaming=false
                 --summary-interval=0 -d "$dir" -o out.bin "$URL") ;;
    curl) CMD=(curl -s -o "$dir/out.bin" "$URL") ;;
  esac
}

download_bench_start qelo-dl-bench 2 qelo aria2c curl
download_bench_rounds qelo aria2c curl

"$BENCH_DIR/download_summary.py" "$RESULTS" "$SIZE_MIB" qelo aria2c:1.00:1.00 curl
