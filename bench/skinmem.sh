#!/usr/bin/env bash
# Peak memory and time of the skin reader on hostile packages of at most 1 MiB
# (bench/skin_hostile.py) and on our stored skin: `skinload --read` (ReadSkin, as the
# program reads its package) under /usr/bin/time, one process per package. The reader
# must keep each under 64 MiB and 1 s; a refused package counts as read.
#
#   bench/skinmem.sh [SKINLOAD]    (default: the bench preset's build)
set -euo pipefail
cd "$(dirname "$0")/.."

skinload=${1:-}
if [ -z "$skinload" ]; then
  cmake --preset bench >/dev/null
  cmake --build --preset bench -j "${JOBS:-2}" --target skinload skinload_stored >/dev/null
  skinload=build/bench/bench/skinload
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/skin_hostile.py "$work"
# The stored stream has one more length in front of the package.
tail -c +5 build/bench/bench/stored/SkinStream.bin >"$work/stored.pkg"
for unpacked in "$work"/*.unpacked; do
  "$skinload" --pack "$unpacked" "${unpacked%.unpacked}.pkg"
  rm "$unpacked"
done

printf '%-20s %10s %12s %8s  %s\n' package "packed" "peak KiB" "seconds" result
for package in "$work"/*.pkg; do
  name=$(basename "$package" .pkg)
  /usr/bin/time -f '%M %e' -o "$work/time" "$skinload" --read "$package" >"$work/out" 2>&1 || true
  read -r peak seconds < <(tail -n 1 "$work/time")
  result=$(tr '\n\t' '; ' <"$work/out" | cut -c1-60)
  printf '%-20s %10d %12d %8s  %s\n' "$name" "$(stat -c %s "$package")" "$peak" "$seconds" "$result"
done
