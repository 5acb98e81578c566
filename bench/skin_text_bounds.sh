#!/usr/bin/env bash
# Hostile skin texts: a container whose text inflates to 60 MiB of distinct section headers, and
# one of 60 MiB of distinct keys, loaded with "qelo-cli skin info". Each must be refused as a
# damaged container; goal: within 300 MB peak memory and 5 s. Prints one line per case.
# usage: bench/skin_text_bounds.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
cli=$build/bin/qelo-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 - "$work" <<'PY'
import struct, sys, zlib
work = sys.argv[1]
size = 60 << 20

def text(make):
    parts, total, i = [], 0, 0
    while total < size:
        line = make(i)
        parts.append(line)
        total += len(line)
        i += 1
    return b"".join(parts)

def body(t):
    # picture-set code 0, two empty picture slots, no active pictures, then the text
    return struct.pack("<i", 0) + b"\x01\x01" + struct.pack("<i", 0) + t

for name, make in (("sections", lambda i: b"[s%d]\n" % i),
                   ("keys", lambda i: (b"[k]\n" if i == 0 else b"") + b"k%d=1\n" % i)):
    data = zlib.compress(body(text(make)), 9)
    with open(f"{work}/{name}.skn", "wb") as f:
        f.write(struct.pack("<ii", 2, len(data)) + data)
PY

for name in sections keys; do
  set +e
  /usr/bin/time -f '%M %e' -o "$work/time" "$cli" skin info "$work/$name.skn" >"$work/out" 2>"$work/err"
  rc=$?
  set -e
  read -r kb seconds < <(tail -1 "$work/time")
  printf '%-9s exit %d  %-20s peak %4d MB  %5.2f s\n' "$name" "$rc" \
    "\"$(head -1 "$work/err")\"" $((kb / 1024)) "$seconds"
done
