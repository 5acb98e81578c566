#!/usr/bin/env bash
# End-to-end checks of qelo-cli against a real qelo-service on a free loopback port:
# http (exit codes and the four closing lines), search (rows of eight cells), download (the
# file whole, its four stdout lines, refusals), settings
# (encode/decode round trip and refusal). Usage: cli_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d)
pid=
cleanup() {
  [[ -n $pid ]] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

passed=0 failed=0
check() {  # check NAME CONDITION-COMMAND...
  local name=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name" >&2
  fi
}

head -c 300000 /dev/urandom >"$work/Dl.skn"
"$bin/qelo-service" --listen 127.0.0.1:0 --db "$work/index.db" --seed-rows 2000 --skins "$work" \
  >"$work/url" 2>"$work/service.log" &
pid=$!
for _ in $(seq 300); do [[ -s $work/url ]] && break; sleep 0.1; done
base=$(head -n1 "$work/url")
[[ $base == http://127.0.0.1:*/ ]] || { echo "service did not start" >&2; cat "$work/service.log" >&2; exit 1; }

cli() { timeout 60 "$bin/qelo-cli" "$@"; }

# http: a search POST answered 200, body to a file, the four closing lines last on stderr.
cli http --data 'action=search&word=pdf' -o "$work/reply" "${base}zelk_client.php" 2>"$work/err"
check "http exit 0" test $? -eq 0
check "http closing lines" diff <(tail -n 4 "$work/err" | sed 's/[0-9][0-9]*$/N/') \
  <(printf 'ErrCode: N\nStatusCode: N\nReasonPhrase: OK\nRcvdCount: N\n')
check "http status 200" grep -qx 'StatusCode: 200' "$work/err"
check "http count is body size" grep -qx "RcvdCount: $(stat -c %s "$work/reply")" "$work/err"
check "http body is a JSON array" test "$(head -c 2 "$work/reply")" = '[{'

# http: an unknown page is still ErrCode 0 (exit 0) with its status; a refused port is exit 1.
cli http "${base}no-such-page" >/dev/null 2>"$work/err"
check "http 404 exit 0" test $? -eq 0
check "http 404 status" grep -qx 'StatusCode: 404' "$work/err"
# Port 1 (tcpmux) has no listener on these machines.
cli http "http://127.0.0.1:1/" >/dev/null 2>"$work/err"
check "http refused exit 1" test $? -eq 1
check "http refused code" grep -qx 'ErrCode: 10061' "$work/err"
# A server that answers every request with REPLY and closes: noise is no HTTP reply, an endless
# relocation ends past the limit; both exit 1 with the reason on stderr.
serve_once_each() {  # serve_once_each REPLY -> prints the URL; the server ends with the test
  python3 -c '
import socket, sys
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); s.settimeout(30)
print("http://127.0.0.1:%d/" % s.getsockname()[1], flush=True)
while True:
    c, _ = s.accept(); c.settimeout(5); c.recv(65536); c.sendall(sys.argv[1].encode()); c.close()
' "$1" &
}
serve_once_each 'noise, not a status line' >"$work/noise.url"
noise_pid=$!
serve_once_each $'HTTP/1.0 302 Found\r\nLocation: /again\r\nContent-Length: 0\r\n\r\n' >"$work/loop.url"
loop_pid=$!
for _ in $(seq 100); do [[ -s $work/noise.url && -s $work/loop.url ]] && break; sleep 0.1; done
cli http "$(cat "$work/noise.url")" >/dev/null 2>"$work/err"
check "http noise exit 1" test $? -eq 1
check "http noise reason" grep -q 'not an HTTP reply' "$work/err"
cli http --max-redirects 2 "$(cat "$work/loop.url")" >/dev/null 2>"$work/err"
check "http relocation loop exit 1" test $? -eq 1
check "http relocation loop reason" grep -q 'too many relocations (limit 2)' "$work/err"
kill "$noise_pid" "$loop_pid" 2>/dev/null
cli http --bogus "$base" >/dev/null 2>&1
check "http usage exit 2" test $? -eq 2

# search: one line per row, eight tab-separated cells, the keyword in every name.
cli search Photoshop --base "$base" >"$work/rows" 2>"$work/err"
check "search exit 0" test $? -eq 0
check "search has rows" test "$(wc -l <"$work/rows")" -gt 0
check "search eight cells" test -z "$(awk -F'\t' 'NF != 8' "$work/rows")"
check "search names match" test -z "$(cut -f1 "$work/rows" | grep -vi photoshop)"

# download: a skin in two parts, the file whole and exactly the four lines on stdout.
skin="${base}plugins/getskin.php?action=downskin&skin_id="
cli download "${skin}Dl" "$work/dl.bin" >"$work/out" 2>"$work/err"
check "download exit 0" test $? -eq 0
check "download four lines" diff "$work/out" \
  <(printf 'ErrorCode: 200\nReason: OK\nContentLength: 300000\nTotalDataCount: 300000\n')
check "download file whole" cmp -s "$work/dl.bin" "$work/Dl.skn"
check "download progress texts" grep -qx 'All done' "$work/err"
cli download --parts 3 --progress "${skin}Dl" "$work/dl3.bin" >"$work/out" 2>"$work/err"
check "download 3 parts" cmp -s "$work/dl3.bin" "$work/Dl.skn"
check "download --progress shows percent" grep -q '100.0%' "$work/err"
cli download "${skin}Nope" "$work/none.bin" >"$work/out" 2>/dev/null
check "download missing exit 1" test $? -eq 1
check "download missing code" grep -qx 'ErrorCode: 404' "$work/out"
requests=$(grep -c 'skin_id=Dl ' "$work/service.log")
echo keep >"$work/one.bin"
cli download --parts 1 "${skin}Dl" "$work/one.bin" >"$work/out" 2>"$work/err"
check "download refused exit 1" test $? -eq 1
sleep 0.2
check "download refused sends nothing" test "$(grep -c 'skin_id=Dl ' "$work/service.log")" -eq "$requests"
check "download refused message" grep -q 'PartCount must be positive' "$work/err"
check "download refused prints nothing" test ! -s "$work/out"
check "download refused keeps FILE" test "$(cat "$work/one.bin")" = keep
cli download "${skin}Dl" >/dev/null 2>&1
check "download usage exit 2" test $? -eq 2

# settings: a Chinese skin name survives encode + decode; junk is refused with exit 1.
cli settings encode 'Charm|user' >"$work/charm.cfg"
check "settings encode exit 0" test $? -eq 0
check "settings line is A...Z, 118 chars, CR LF" grep -qaP '^A[A-Za-z0-9+/=]{88}[0-9A-F]{28}Z\r$' "$work/charm.cfg"
cli settings encode '水墨|user' >"$work/settings.cfg"
check "settings round trip" test "$(cli settings decode "$work/settings.cfg")" = '水墨|user'
printf 'not a settings line\r\n' >"$work/junk.cfg"
cli settings decode "$work/junk.cfg" >/dev/null 2>&1
check "settings junk exit 1" test $? -eq 1

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
