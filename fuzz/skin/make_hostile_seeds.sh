#!/usr/bin/env bash
# Writes the seeds/package/hostile_* inputs of fuzz_skin_package: packages that cost the
# reader much memory or time for their size (bench/skin_hostile.py --fuzz), packed with
# skinload and read on the packed path (first byte odd).
#
#   fuzz/skin/make_hostile_seeds.sh SKINLOAD
set -euo pipefail
cd "$(dirname "$0")/../.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 bench/skin_hostile.py --fuzz "$work"
for unpacked in "$work"/*.unpacked; do
  name=$(basename "$unpacked" .unpacked)
  "$1" --pack "$unpacked" "$work/$name.pkg"
  { printf '\001'; cat "$work/$name.pkg"; } >"fuzz/skin/seeds/package/hostile_$name"
done
