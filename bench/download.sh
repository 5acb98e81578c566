#!/usr/bin/env bash
# Two-connection download benchmark on loopback: `qelo-cli download` (two parts) against
# `aria2c -x2 -s2 -k1M` and a single-stream `curl`, all fetching the same file (256 MiB by
# default) from a local nginx started here (foreground, temporary config, a free 127.0.0.1
# port) and stopped at the end. Outputs go to tmpfs (/dev/shm) and to a disk directory
# (DISK_DIR, /var/tmp by default); runs are interleaved and the tool order alternates from
# run to run. The sha256 of every output is checked. Prints every run (wall, user, sys), then
# per target the median throughput and CPU seconds per MiB of each tool and qelo-cli's ratios.
# Goal: at least aria2c's throughput, with less CPU per MiB.
#
#   bench/download.sh [PATH/TO/qelo-cli] [RUNS] [SIZE_MIB]
set -euo pipefail

QELO_CLI=${1:-"$(dirname "$0")/../build/bin/qelo-cli"}
RUNS=${2:-5}
SIZE_MIB=${3:-256}
NGINX=${NGINX:-/usr/sbin/nginx}
# shellcheck source=bench/local_nginx.sh
source "$(dirname "$0")/local_nginx.sh"
DISK_DIR=${DISK_DIR:-/var/tmp}

[[ -x "$QELO_CLI" ]] || { echo "qelo-cli not found at $QELO_CLI" >&2; exit 2; }
[[ -x "$NGINX" ]] || { echo "nginx not found at $NGINX" >&2; exit 2; }
for tool in curl aria2c sha256sum python3; do
  command -v "$tool" >/dev/null || { echo "$tool not found (scripts/setup installs it)" >&2; exit 2; }
done

WORK=$(mktemp -d /tmp/qelo-dl-bench.XXXXXX)
SHM_OUT=$(mktemp -d /dev/shm/qelo-dl-bench.XXXXXX)
DISK_OUT=$(mktemp -d "$DISK_DIR/qelo-dl-bench.XXXXXX")
cleanup() {
  stop_local_nginx
  rm -rf "$WORK" "$SHM_OUT" "$DISK_OUT"
}
trap cleanup EXIT INT TERM

start_local_nginx "$WORK" "$SIZE_MIB" 2
EXPECTED_SUM=$(sha256sum <"$SERVED" | cut -d' ' -f1)

# run_tool TOOL DIR: one timed download into DIR/out.bin; prints "wall user sys".
run_tool() {
  local tool=$1 dir=$2
  rm -f "$dir/out.bin" "$dir/out.bin.aria2"
  local cmd
  case $tool in
    qelo) cmd=("$QELO_CLI" download --parts 2 "$URL" "$dir/out.bin") ;;
    aria2) cmd=(aria2c -x2 -s2 -k1M -q --allow-overwrite=true --auto-file-renaming=false
                --summary-interval=0 -d "$dir" -o out.bin "$URL") ;;
    curl) cmd=(curl -s -o "$dir/out.bin" "$URL") ;;
  esac
  /usr/bin/time -f "%e %U %S" -o "$WORK/time.txt" "${cmd[@]}" >"$WORK/stdout.txt" 2>"$WORK/stderr.txt" || {
    echo "$tool failed:" >&2
    cat "$WORK/stdout.txt" "$WORK/stderr.txt" >&2
    return 1
  }
  local sum
  sum=$(sha256sum <"$dir/out.bin" | cut -d' ' -f1)
  [[ "$sum" == "$EXPECTED_SUM" ]] || { echo "$tool: output in $dir differs" >&2; return 1; }
  rm -f "$dir/out.bin"
  cat "$WORK/time.txt"
}

RESULTS="$WORK/results.txt"
: >"$RESULTS"
printf '%-5s %-6s %4s %8s %8s %8s\n' target tool run wall_s user_s sys_s
for run in $(seq "$RUNS"); do
  # The order alternates, so no tool always runs right after the same one.
  if (( run % 2 )); then order=(qelo aria2 curl); else order=(curl aria2 qelo); fi
  for target in shm disk; do
    dir=$SHM_OUT
    [[ $target == disk ]] && dir=$DISK_OUT
    for tool in "${order[@]}"; do
      read -r wall user sys < <(run_tool "$tool" "$dir")
      printf '%-5s %-6s %4d %8s %8s %8s\n' "$target" "$tool" "$run" "$wall" "$user" "$sys"
      echo "$target $tool $wall $user $sys" >>"$RESULTS"
    done
  done
done

python3 - "$RESULTS" "$SIZE_MIB" <<'EOF'
import collections, statistics, sys
rows = collections.defaultdict(list)
for line in open(sys.argv[1]):
    target, tool, wall, user, sys_s = line.split()
    rows[(target, tool)].append((float(wall), float(user) + float(sys_s)))
mib = float(sys.argv[2])
for target in ("shm", "disk"):
    rate = {t: statistics.median(mib / max(w, 0.001) for w, _ in rows[(target, t)]) for t in ("qelo", "aria2", "curl")}
    cpu = {t: statistics.median(c / mib for _, c in rows[(target, t)]) for t in ("qelo", "aria2", "curl")}
    print(f"{target}: median MiB/s  qelo-cli {rate['qelo']:.1f}  aria2c {rate['aria2']:.1f}  curl {rate['curl']:.1f}")
    print(f"{target}: median CPU ms/MiB  qelo-cli {cpu['qelo'] * 1000:.2f}  aria2c {cpu['aria2'] * 1000:.2f}  curl {cpu['curl'] * 1000:.2f}")
    print(f"{target}: qelo-cli/aria2c speed {rate['qelo'] / rate['aria2']:.2f} (goal >= 1.00), "
          f"CPU {cpu['qelo'] / max(cpu['aria2'], 1e-9):.2f} (goal < 1.00); "
          f"qelo-cli/curl speed {rate['qelo'] / rate['curl']:.2f}")
EOF
