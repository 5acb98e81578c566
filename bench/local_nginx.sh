# shellcheck shell=bash
# Sourced by the download and service benchmarks: a local nginx in the foreground, with a
# temporary config and directories under WORK, serving one file on a free 127.0.0.1 port: a
# random one of SIZE_MIB MiB, or a copy of FILE (its name kept) when FILE is given.
#
#   start_local_nginx WORK SIZE_MIB WORKERS [FILE]  sets NGINX_PID, URL (the file) and SERVED
#                                                   (its path)
#   stop_local_nginx                                asks it to quit, then kills it after 5 s
NGINX=${NGINX:-/usr/sbin/nginx}
NGINX_PID=""

start_local_nginx() {
  local work=$1 size_mib=$2 workers=$3 file=${4:-} port user_line=""
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  mkdir -p "$work/www" "$work/logs" "$work/tmp"
  chmod 755 "$work" "$work/www"
  if [[ -n $file ]]; then
    SERVED="$work/www/$(basename "$file")"
    cp "$file" "$SERVED"
  else
    SERVED="$work/www/big.bin"
    head -c "$((size_mib * 1024 * 1024))" /dev/urandom >"$SERVED"
  fi
  chmod 644 "$SERVED"
  # Started as root, nginx's workers would otherwise drop to a user that may not read WORK.
  [[ $(id -u) -eq 0 ]] && user_line="user root;"
  cat >"$work/nginx.conf" <<EOF
$user_line
worker_processes $workers;
daemon off;
pid $work/nginx.pid;
error_log $work/logs/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  sendfile on;
  tcp_nopush on;
  client_body_temp_path $work/tmp/body;
  proxy_temp_path $work/tmp/proxy;
  fastcgi_temp_path $work/tmp/fastcgi;
  uwsgi_temp_path $work/tmp/uwsgi;
  scgi_temp_path $work/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    root $work/www;
  }
}
EOF
  # -e: the log before the config is read, too, is ours (the default may not be writable).
  "$NGINX" -p "$work" -e "$work/logs/error.log" -c "$work/nginx.conf" &
  NGINX_PID=$!
  URL="http://127.0.0.1:$port/$(basename "$SERVED")"
  for _ in $(seq 100); do
    curl -s -o /dev/null --max-time 1 -I "$URL" && return 0
    kill -0 "$NGINX_PID" 2>/dev/null || { cat "$work/logs/error.log" >&2; return 1; }
    sleep 0.1
  done
  echo "nginx did not answer on $URL" >&2
  return 1
}

stop_local_nginx() {
  if [[ -n "$NGINX_PID" ]] && kill -0 "$NGINX_PID" 2>/dev/null; then
    kill -QUIT "$NGINX_PID" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$NGINX_PID" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$NGINX_PID" 2>/dev/null || true
  fi
}
