#!/usr/bin/env bash
# Compares the engine (zipextract) with unzip, 7zz and bsdtar on two archives made with
# Info-ZIP zip at level 6: about 5000 small files in 50 folders (about 100 MB) and one
# 200 MB text file. Extraction goes to tmpfs; every command gets warm-up runs and its
# folder emptied before each run. Prints medians, our ratio to each peer, the raw
# inflate + CRC-32 floor for the big archive, and peak memory.
#   RUNS (default 5), JOBS, BENCH_BUILD_DIR (default build/bench), BENCH_WORK.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v 7zz >/dev/null || missing+=(7zip)
command -v bsdtar >/dev/null || missing+=(libarchive-tools)
command -v hyperfine >/dev/null || missing+=(hyperfine)
[ -x /usr/bin/time ] || missing+=(time)
command -v zip >/dev/null || missing+=(zip)
command -v unzip >/dev/null || missing+=(unzip)
command -v python3 >/dev/null || missing+=(python3)
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y "${missing[@]}" || { apt-get update && apt-get install -y "${missing[@]}"; }
fi

build=${BENCH_BUILD_DIR:-build/bench}
cmake --preset bench -B "$build" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target zipextract inflatefloor >/dev/null
ours=$PWD/$build/bench/zipextract
floor=$PWD/$build/bench/inflatefloor

if [ -z "${BENCH_WORK:-}" ]; then
  BENCH_WORK=$( [ -d /dev/shm ] && echo /dev/shm || echo /tmp )/vornis-zip-bench
fi
work=$BENCH_WORK
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT

echo "== making the archives in $work"
python3 bench/make_data.py "$work/data"
(cd "$work/data/small" && zip -6 -r -q "$work/small.zip" .)
(cd "$work/data/big" && zip -6 -q "$work/big.zip" big.txt)
rm -rf "$work/data"
ls -l "$work"/*.zip

runs=${RUNS:-5}
dest=$work/out
for archive in small big; do
  zipfile=$work/$archive.zip
  echo "== $archive.zip"
  hyperfine --style basic --warmup 1 --runs "$runs" \
    --prepare "rm -rf $dest && mkdir -p $dest" \
    --export-json "$work/$archive.json" \
    -n ours "$ours $zipfile $dest" \
    -n unzip "unzip -o -qq $zipfile -d $dest" \
    -n 7zz "7zz x -y -bso0 -bsp0 -o$dest $zipfile" \
    -n bsdtar "bsdtar -xf $zipfile -C $dest" >/dev/null
  for tool in ours unzip 7zz bsdtar; do
    rm -rf "$dest" && mkdir -p "$dest"
    case $tool in
      ours) cmd=("$ours" "$zipfile" "$dest") ;;
      unzip) cmd=(unzip -o -qq "$zipfile" -d "$dest") ;;
      7zz) cmd=(7zz x -y -bso0 -bsp0 "-o$dest" "$zipfile") ;;
      bsdtar) cmd=(bsdtar -xf "$zipfile" -C "$dest") ;;
    esac
    /usr/bin/time -v "${cmd[@]}" 2>"$work/$archive.$tool.mem" >/dev/null
  done
done
rm -rf "$dest"
hyperfine --style basic --warmup 1 --runs "$runs" --export-json "$work/floor.json" \
  -n floor "$floor $work/big.zip" >/dev/null
/usr/bin/time -v "$floor" "$work/big.zip" 2>"$work/big.floor.mem" >/dev/null

python3 - "$work" <<'PY'
import json, os, re, sys
work = sys.argv[1]
def load(name):
    with open(os.path.join(work, name + '.json')) as f:
        return {r['command']: r for r in json.load(f)['results']}
def medians(name):
    return {k: r['median'] for k, r in load(name).items()}
def cpu(name):
    return {k: r['user'] + r['system'] for k, r in load(name).items()}
def peak(archive, tool):
    text = open(os.path.join(work, '%s.%s.mem' % (archive, tool))).read()
    return int(re.search(r'Maximum resident set size \(kbytes\): (\d+)', text).group(1)) / 1024
floor = medians('floor')['floor']
floor_cpu = cpu('floor')['floor']
for archive in ('small', 'big'):
    m = medians(archive)
    c = cpu(archive)
    print('\n%s.zip' % archive)
    print('  %-8s %9s %9s %9s %9s %10s' % ('tool', 'median s', 'ours/x', 'cpu s', 'ours/x', 'peak MiB'))
    for tool in ('ours', 'unzip', '7zz', 'bsdtar'):
        print('  %-8s %9.3f %9.2f %9.3f %9.2f %10.1f' % (tool, m[tool], m['ours'] / m[tool], c[tool],
                                                         c['ours'] / c[tool], peak(archive, tool)))
    if archive == 'big':
        print('  %-8s %9.3f %9.2f %9.3f %9.2f %10.1f' % ('floor', floor, m['ours'] / floor, floor_cpu,
                                                         c['ours'] / floor_cpu, peak('big', 'floor')))
PY
