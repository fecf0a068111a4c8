#!/usr/bin/env bash
# Cuts a few small archives at every byte and runs the engine's front ends over each cut, as a
# user would: `zipread extract` and `zipwrite add`. The archives come from the tools that make
# them in the wild: Info-ZIP (to a file and to a pipe, with data descriptors), Python's zipfile
# (plain and with Zip64 sizes in every header) and 7-Zip. It counts the extractions that exit 0
# with fewer files than the archive holds, and the adds that change the cut file; both must be 0,
# and the script exits 1 when they are not.
#
#   scripts/zip-cut-sweep.sh [--stride N]
#
# --stride N cuts at every Nth byte only (default 1: every byte). The ctest suite runs the same
# sweep in-process on smaller archives (CutArchives.EveryCutOfSmallArchives).
set -euo pipefail
cd "$(dirname "$0")/.."
stride=1
if [ "${1:-}" = "--stride" ] && [ -n "${2:-}" ]; then stride=$2; fi
build=${ORVALIS_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target zipread zipwrite >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/d/e"
python3 - "$work/src" <<'PY'
import os, random, sys
r = random.Random(20261211)
words = [b'orvalis', b'pulse', b'secretariat', b'agenda', b'visit', b'message']
def text(n): return b' '.join(r.choice(words) for _ in range(n))[:n * 6]
open(os.path.join(sys.argv[1], 'a.txt'), 'wb').write(text(120))
open(os.path.join(sys.argv[1], 'd', 'b.bin'), 'wb').write(bytes(r.randrange(256) for _ in range(300)))
open(os.path.join(sys.argv[1], 'd', 'e', 'c.txt'), 'wb').write(text(200))
open(os.path.join(sys.argv[1], 'empty'), 'wb').close()
PY

(cd "$work/src" && zip -q -r -X "$work/infozip.zip" .)
(cd "$work/src" && zip -q -r -X - . | cat >"$work/streamed.zip")
(cd "$work/src" && 7zz a -tzip -bd -bso0 "$work/7zip.zip" . >/dev/null)
python3 - "$work/src" "$work" <<'PY'
import os, sys, zipfile
src, out = sys.argv[1], sys.argv[2]
os.chdir(src)
files = sorted(os.path.join(d, f) for d, _, fs in os.walk('.') for f in fs)
with zipfile.ZipFile(os.path.join(out, 'python.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    for p in files: z.write(p)
with zipfile.ZipFile(os.path.join(out, 'python-zip64.zip'), 'w', zipfile.ZIP_DEFLATED) as z:
    for p in files:
        with open(p, 'rb') as i, z.open(zipfile.ZipInfo.from_file(p), 'w', force_zip64=True) as o: o.write(i.read())
PY

python3 - "$work" "$build/tests/zipread" "$build/tests/zipwrite" "$stride" <<'PY'
import os, shutil, subprocess, sys
work, zipread, zipwrite, stride = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
held = 4  # files in the source tree (the empty folder aside)
open(os.path.join(work, 'new.txt'), 'w').write('new\n')
runs = short_success = changed = 0
for name in ('infozip.zip', 'streamed.zip', 'python.zip', 'python-zip64.zip', '7zip.zip'):
    whole = open(os.path.join(work, name), 'rb').read()
    for length in range(0, len(whole), stride):
        cut, out = os.path.join(work, 'cut.zip'), os.path.join(work, 'out')
        open(cut, 'wb').write(whole[:length])
        shutil.rmtree(out, ignore_errors=True)
        rc = subprocess.run([zipread, 'extract', cut, out], capture_output=True).returncode
        files = sum(len(fs) for _, _, fs in os.walk(out))
        runs += 1
        if rc == 0 and files < held:
            short_success += 1
            print(f'{name} cut at {length}: exit 0 with {files} of {held} files')
        subprocess.run([zipwrite, 'add', cut, 'new.txt', '--base', work], capture_output=True)
        if open(cut, 'rb').read() != whole[:length]:
            changed += 1
            print(f'{name} cut at {length}: the add changed the cut archive')
print(f'{runs} cuts: {short_success} extractions exited 0 with fewer files, {changed} adds changed the file')
sys.exit(1 if short_success or changed else 0)
PY
