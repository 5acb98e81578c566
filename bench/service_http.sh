#!/usr/bin/env bash
# qelo-service's HTTP side against nginx and against another build, on loopback with wrk and
# kept-alive connections:
#  - result pages: requests/s for GET /zelk-ID, and for the same bytes served as a static file
#    by a local nginx (wrk -t1 -c32 -d4s); the service's rate as a share of nginx's;
#  - search: POST action=search&word=2013 on the 50,000-row demo index (wrk -t2 -c32 -d10s):
#    requests/s, p50 and p99 latency;
#  - search as the client sends it, each request on a new HTTP/1.0 connection, 32 at a time
#    (service_load --saturate, 10 s): requests/s, p50 and p99.
# Every service gets a fresh index of its own. With OLD_BUILD (the build directory of another
# commit) that build's qelo-service is measured too, in turns with this one, in each round.
# Prints each run, then the medians over the rounds (the services take turns at going first).
# Environment: BUILD_DIR (default build), OLD_BUILD, ROUNDS (3), NGINX_WORKERS (2).
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/local_nginx.sh
build_dir=${BUILD_DIR:-build}
rounds=${ROUNDS:-3}
command -v wrk >/dev/null || { echo "wrk is needed" >&2; exit 1; }
load=$build_dir/bench/service_load
[[ -x $load ]] || { echo "no $load: build service_load first" >&2; exit 1; }

work=$(mktemp -d)
pids=()
cleanup() {
  stop_local_nginx
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# start_service NAME EXE: starts EXE on a free port with its own index; sets its URL in url_NAME.
start_service() {
  local name=$1 exe=$2 url=""
  [[ -x $exe ]] || { echo "no $exe: build qelo-service first" >&2; exit 1; }
  mkdir -p "$work/$name"
  "$exe" --listen 127.0.0.1:0 --db "$work/$name/index.db" --seed-rows 50000 --skins "$work/$name" \
    >"$work/$name/url" 2>"$work/$name/service.log" &
  pids+=($!)
  for _ in $(seq 600); do [[ -s $work/$name/url ]] && break; sleep 0.1; done
  url=$(head -n1 "$work/$name/url")
  [[ -n $url ]] || { echo "$name did not start" >&2; cat "$work/$name/service.log" >&2; exit 1; }
  printf -v "url_$name" '%s' "$url"
}

services=(new)
start_service new "$build_dir/bin/qelo-service"
if [[ -n ${OLD_BUILD:-} ]]; then
  services+=(old)
  start_service old "$OLD_BUILD/bin/qelo-service"
fi

page=zelk-10001
curl -sf -o "$work/$page.html" "${url_new}$page"
for s in "${services[@]}"; do
  u="url_$s"
  cmp -s "$work/$page.html" <(curl -sf "${!u}$page") || { echo "$s serves another page" >&2; exit 1; }
done
start_local_nginx "$work/nginx" 0 "${NGINX_WORKERS:-2}" "$work/$page.html"
echo "result page: $(stat -c %s "$work/$page.html") bytes; nginx with ${NGINX_WORKERS:-2} workers"

# rate URL, then "p50_ms p99_ms" with --latency: one wrk run, one line "req_s [p50 p99]".
wrk_line() {
  awk '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0;
                     if (v ~ /s$/) return v * 1000; return v }
    /Requests\/sec:/ { rps = $2 }
    $1 == "50%" { p50 = ms($2) }  $1 == "99%" { p99 = ms($2) }
    END { if (p50 != "") printf "%.0f %.2f %.2f\n", rps, p50, p99; else printf "%.0f\n", rps }'
}

results="$work/results"
: >"$results"
for round in $(seq "$rounds"); do
  # The services take turns at going first, so a change in the machine's load over a round
  # does not always fall on the same one.
  if ((round % 2 == 0)); then
    services=("${services[@]:1}" "${services[0]}")
  fi
  rps=$(wrk -t1 -c32 -d4s "$URL" | wrk_line)
  echo "round $round: nginx page $rps req/s" && echo "page nginx $rps" >>"$results"
  for s in "${services[@]}"; do
    u="url_$s"
    rps=$(wrk -t1 -c32 -d4s "${!u}$page" | wrk_line)
    echo "round $round: $s page $rps req/s" && echo "page $s $rps" >>"$results"
  done
  for s in "${services[@]}"; do
    u="url_$s"
    line=$(wrk -t2 -c32 -d10s --latency -s bench/service_http.lua "${!u}" | wrk_line)
    echo "round $round: $s search $line (req/s, p50 ms, p99 ms)" && echo "search $s $line" >>"$results"
  done
  for s in "${services[@]}"; do
    u="url_$s"
    port=${!u##*:} && port=${port%/}
    line=$("$load" --port "$port" --saturate --connections 32 --seconds 10 | awk '
      / req\/s,/ { for (i = 1; i <= NF; i++) if ($i == "req/s,") rps = $(i - 1) }
      $1 == "latency" { for (i = 1; i <= NF; i++) { if ($i == "p50") p50 = $(i + 1); if ($i == "p99") p99 = $(i + 1) } }
      END { printf "%.0f %.2f %.2f\n", rps, p50, p99 }')
    echo "round $round: $s search, new connections $line (req/s, p50 ms, p99 ms)"
    echo "fresh $s $line" >>"$results"
  done
done

python3 - "$results" <<'PY'
import statistics, sys
rows = [l.split() for l in open(sys.argv[1])]
def med(kind, who, col):
    return statistics.median(float(r[col]) for r in rows if r[0] == kind and r[1] == who)
print("medians:")
nginx = med("page", "nginx", 2)
print("  result page, nginx static file: %.0f req/s" % nginx)
for who in ("old", "new"):
    if not any(r[1] == who for r in rows):
        continue
    page = med("page", who, 2)
    print("  result page, %s service: %.0f req/s (%.2fx nginx)" % (who, page, page / nginx))
    print("  search, %s service: %.0f req/s, p50 %.1f ms, p99 %.1f ms"
          % (who, med("search", who, 2), med("search", who, 3), med("search", who, 4)))
    print("  search on new connections, %s service: %.0f req/s, p50 %.1f ms, p99 %.1f ms"
          % (who, med("fresh", who, 2), med("fresh", who, 3), med("fresh", who, 4)))
PY
