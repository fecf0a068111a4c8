#!/usr/bin/env bash
# Six commits at once on one archive (three adds, a rename, a delete, a freshen), with nothing
# slowed, for a number of rounds: counts the rounds in which a commit that exited 0 is missing
# from the final archive or one that failed is in it. A measurement, not a test: how often the
# commits meet depends on the machine.
#   scripts/zip-concurrent-commits.sh ZIPWRITE [ROUNDS]     (ZIPWRITE: build/tests/zipwrite)
set -euo pipefail
cli=$(realpath "$1")
rounds=${2:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bad=0
for ((r = 0; r < rounds; r++)); do
  rm -rf "$work"/*
  mkdir -p "$work/src" "$work/arc"
  head -c 300000 /dev/urandom >"$work/src/first.bin"
  seq 1 8000 >"$work/src/notes.txt"
  head -c 200000 /dev/urandom >"$work/src/more.bin"
  "$cli" create "$work/arc/a.zip" '*' --base "$work/src" >/dev/null
  for i in 1 2 3; do seq "$i" 3000 >"$work/src/add$i.txt"; done
  head -c 150000 /dev/urandom >"$work/src/more.bin"
  touch -d '+2 days' "$work/src/more.bin"
  # run NAME ARGUMENTS...: the front end, its exit status into s.NAME.
  run() {
    local name=$1 rc=0
    shift
    "$cli" "$@" >/dev/null 2>&1 || rc=$?
    echo "$rc" >"$work/s.$name"
  }
  run add1 add "$work/arc/a.zip" add1.txt --base "$work/src" &
  run add2 add "$work/arc/a.zip" add2.txt --base "$work/src" &
  run add3 add "$work/arc/a.zip" add3.txt --base "$work/src" &
  run rename rename "$work/arc/a.zip" notes.txt renamed.txt &
  run delete delete "$work/arc/a.zip" first.bin &
  run freshen freshen "$work/arc/a.zip" more.bin --base "$work/src" &
  wait
  if ! python3 - "$work" <<'PY'; then bad=$((bad + 1)); fi
import sys, zipfile
w = sys.argv[1]
try:
    z = zipfile.ZipFile(w + "/arc/a.zip")
    if z.testzip() is not None:
        raise ValueError("a member fails its check")
    sizes = {i.filename: i.file_size for i in z.infolist()}
except Exception as e:
    print("round: the archive does not read:", e)
    sys.exit(1)
applied = {
    "add1": "add1.txt" in sizes, "add2": "add2.txt" in sizes, "add3": "add3.txt" in sizes,
    "rename": "renamed.txt" in sizes and "notes.txt" not in sizes,
    "delete": "first.bin" not in sizes,
    "freshen": sizes.get("more.bin") == 150000,
}
wrong = []
for name, done in applied.items():
    ok = open(w + "/s." + name).read().strip() == "0"
    if ok != done:
        wrong.append(name + (" succeeded, not in the archive" if ok else " failed, yet applied"))
if wrong:
    print("round:", "; ".join(wrong))
    sys.exit(1)
PY
done
echo "rounds $rounds, with a lost or wrongly applied commit: $bad"
