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

[[ -x "$QELO_CLI" ]] || { echo "qelo-cli not found at $QELO_CLI" >&2; exit 2; }
[[ -x "$NGINX" ]] || { echo "nginx not found at $NGINX" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl not found" >&2; exit 2; }

WORK=$(mktemp -d /tmp/qelo-http-bench.XXXXXX)
NGINX_PID=""
cleanup() {
  if [[ -n "$NGINX_PID" ]] && kill -0 "$NGINX_PID" 2>/dev/null; then
    kill -QUIT "$NGINX_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$NGINX_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$NGINX_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$WORK/www" "$WORK/logs" "$WORK/tmp"
chmod 755 "$WORK" "$WORK/www"
head -c "$((SIZE_MIB * 1024 * 1024))" /dev/urandom > "$WORK/www/big.bin"
chmod 644 "$WORK/www/big.bin"
EXPECTED_SUM=$(md5sum < "$WORK/www/big.bin" | cut -d' ' -f1)

cat > "$WORK/nginx.conf" <<EOF
worker_processes 1;
daemon off;
pid $WORK/nginx.pid;
error_log $WORK/logs/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $WORK/tmp/body;
  proxy_temp_path $WORK/tmp/proxy;
  fastcgi_temp_path $WORK/tmp/fastcgi;
  uwsgi_temp_path $WORK/tmp/uwsgi;
  scgi_temp_path $WORK/tmp/scgi;
  server {
    listen 127.0.0.1:$PORT;
    root $WORK/www;
  }
}
EOF

"$NGINX" -p "$WORK" -c "$WORK/nginx.conf" &
NGINX_PID=$!
URL="http://127.0.0.1:$PORT/big.bin"
for _ in $(seq 100); do
  curl -s -o /dev/null --max-time 1 -I "$URL" && break
  kill -0 "$NGINX_PID" 2>/dev/null || { cat "$WORK/logs/error.log" >&2; exit 1; }
  sleep 0.1
done

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
