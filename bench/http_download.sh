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
DISK_DIR=${DISK_DIR:-"$(dirname "$QELO_CLI")/.."}
# shellcheck source=bench/download_runs.sh
source "$BENCH_DIR/download_runs.sh"

tool_command() {
  local tool=$1 dir=$2
  case $tool in
    qelo) CMD=("$QELO_CLI" http -o "$dir/out.bin" "$URL") ;;
    curl) CMD=(curl -s -o "$dir/out.bin" "$URL") ;;
  esac
}

download_bench_start qelo-http-bench 1 qelo curl
download_bench_rounds qelo curl

"$BENCH_DIR/download_summary.py" "$RESULTS" "$SIZE_MIB" qelo curl:0.90
