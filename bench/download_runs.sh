# shellcheck shell=bash
# Sourced by the download benchmarks: the setup, the timed and checked runs and the per-run
# table they share. The sourcing script sets QELO_CLI, RUNS, SIZE_MIB, DISK_DIR and BENCH_DIR
# and defines
#   tool_command TOOL DIR    sets the array CMD: the command that downloads URL to DIR/out.bin
#
#   download_bench_start NAME WORKERS TOOL...   checks the tools, makes WORK (under /tmp),
#       SHM_OUT (under /dev/shm) and DISK_OUT (under DISK_DIR), starts nginx with WORKERS
#       workers and sets EXPECTED_SUM; everything goes at exit
#   download_bench_rounds TOOL...               RUNS rounds to both targets, the tool order
#       rotating from round to round; prints every run and writes them to RESULTS
# shellcheck source=bench/local_nginx.sh
source "$BENCH_DIR/local_nginx.sh"

download_bench_cleanup() {
  stop_local_nginx
  rm -rf "$WORK" "$SHM_OUT" "$DISK_OUT"
}

download_bench_start() {
  local name=$1 workers=$2 tool
  shift 2
  [[ -x "$QELO_CLI" ]] || { echo "qelo-cli not found at $QELO_CLI" >&2; exit 2; }
  [[ -x "$NGINX" ]] || { echo "nginx not found at $NGINX (scripts/setup installs it)" >&2; exit 2; }
  for tool in "$@" sha256sum python3; do
    [[ $tool == qelo ]] && continue
    command -v "$tool" >/dev/null ||
      { echo "$tool not found (scripts/setup installs it)" >&2; exit 2; }
  done
  WORK=$(mktemp -d "/tmp/$name.XXXXXX")
  SHM_OUT=$(mktemp -d "/dev/shm/$name.XXXXXX")
  DISK_OUT=$(mktemp -d "$DISK_DIR/$name.XXXXXX")
  RESULTS="$WORK/results.txt"
  trap download_bench_cleanup EXIT INT TERM
  start_local_nginx "$WORK" "$SIZE_MIB" "$workers"
  EXPECTED_SUM=$(sha256sum <"$SERVED" | cut -d' ' -f1)
}

# timed_download TOOL DIR: one timed download into DIR/out.bin, checked and removed; prints
# "wall_s user_s sys_s".
timed_download() {
  local tool=$1 dir=$2 sum
  rm -f "$dir"/out.bin*
  sync  # the previous run's dirty pages are not written back during this one
  tool_command "$tool" "$dir"
  "$BENCH_DIR/timed_run.py" "$WORK/log.txt" "${CMD[@]}" >"$WORK/time.txt" || {
    echo "$tool failed:" >&2
    cat "$WORK/log.txt" >&2
    return 1
  }
  sum=$(sha256sum <"$dir/out.bin" | cut -d' ' -f1)
  [[ "$sum" == "$EXPECTED_SUM" ]] || { echo "$tool: output in $dir differs" >&2; return 1; }
  rm -f "$dir"/out.bin*
  cat "$WORK/time.txt"
}

download_bench_rounds() {
  local tools=("$@") run first target dir tool timing wall user sys order
  : >"$RESULTS"
  printf '%-5s %-6s %4s %10s %9s %9s %8s %11s\n' \
    target tool run wall_ms user_ms sys_ms MiB/s CPU_ms/MiB
  for run in $(seq "$RUNS"); do
    # The order rotates, so each tool goes first in turn and none always follows another.
    first=$(((run - 1) % ${#tools[@]}))
    order=("${tools[@]:first}" "${tools[@]:0:first}")
    for target in shm disk; do
      dir=$SHM_OUT
      [[ $target == disk ]] && dir=$DISK_OUT
      for tool in "${order[@]}"; do
        timing=$(timed_download "$tool" "$dir")
        read -r wall user sys <<<"$timing"
        echo "$target $tool $run $wall $user $sys" >>"$RESULTS"
        awk -v t="$target" -v n="$tool" -v r="$run" -v w="$wall" -v u="$user" -v s="$sys" \
          -v mib="$SIZE_MIB" 'BEGIN {
            printf "%-5s %-6s %4d %10.3f %9.3f %9.3f %8.1f %11.3f\n",
                   t, n, r, w * 1000, u * 1000, s * 1000, mib / w, (u + s) * 1000 / mib }'
      done
    done
  done
}
