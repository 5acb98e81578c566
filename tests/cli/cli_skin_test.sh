#!/usr/bin/env bash
# qelo-cli skin: the built-in container written as a file, and info on it, on a demo skin and
# on damaged files (exit status, state line, error text). Usage: cli_skin_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
check() {  # check NAME CONDITION-COMMAND...
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name" >&2; fi
}
line() { grep -q -x -F -- "$2" "$1"; }

cli=$bin/qelo-cli
"$cli" skin builtin "$work/Charm.skn"
check "builtin writes a file" test -s "$work/Charm.skn"
check "builtin starts with version 2" test "$(head -c 4 "$work/Charm.skn" | od -An -tx1 | tr -d ' ')" = 02000000

"$cli" skin info "$work/Charm.skn" >"$work/out" 2>"$work/err"
check "info on the built-in exits 0" test $? -eq 0
check "state loaded" line "$work/out" "state: loaded"
check "code 3" line "$work/out" "code: 3"
check "no inactive picture" line "$work/out" "inactivepicture: none"
check "colours of the built-in skin" line "$work/out" \
  "colors: cbtnface=15852243 cbtntext=0 cwindow=16777215 cwindowtext=0 chighlight=14659672 chighlighttext=0 cbtnhighlight=15921388 cbtnshadow=14470847 c3dlight=0 c3ddkshadow=0"
check "skin name" line "$work/out" "skinname: Charm"
check "key order" test "$(cut -d: -f1 "$work/out" | tr '\n' ' ')" = \
  "state code picture inactivepicture mask rolluppicture rollupmask activepictures sections skinname colors objects controls "

if [[ -f $bin/demo-skins/樱花.skn ]]; then
  "$cli" skin info "$bin/demo-skins/樱花.skn" >"$work/out" 2>&1
  check "demo skin name in UTF-8" line "$work/out" "skinname: 樱花"
fi

printf '\x02\x00\x00\x00\x00\x00\x00\x00junk' >"$work/zero.skn"
"$cli" skin info "$work/zero.skn" >"$work/out" 2>"$work/err"
check "damaged body exits 1" test $? -eq 1
check "damaged body puts Charm back" line "$work/out" "state: restored"
check "damaged body still Charm" line "$work/out" "skinname: Charm"
check "compression error on stderr" line "$work/err" "compression error"

printf '\x04\x00\x00\x00' >"$work/v4.skn"
"$cli" skin info "$work/v4.skn" >"$work/out" 2>"$work/err"
check "version 4 exits 1" test $? -eq 1
check "version 4 unchanged" line "$work/out" "state: unchanged"
check "version 4 read error on stderr" line "$work/err" "Stream read error"

"$cli" skin info "$work/missing.skn" >"$work/out" 2>"$work/err"
check "missing file exits 1" test $? -eq 1
check "missing file message" line "$work/err" \
  "Cannot open file \"$work/missing.skn\". No such file or directory"

echo "cli skin: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
