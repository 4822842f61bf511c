#!/usr/bin/env bash
# Short fuzz runs of every libFuzzer target: configures and builds the fuzz preset, then
# runs each fuzz_* target for a bounded time on a copy of its seeds. A crash, a leak or a
# sanitizer report fails the script. The mutations follow a fixed seed (FUZZ_SEED, 1 by
# default): runs on one machine try the same inputs, so the smoke run does not fail on a
# new find at random. Finding is the job of longer runs with other seeds.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-15}
seed=${FUZZ_SEED:-1}
build=${FUZZ_BUILD_DIR:-build/fuzz}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "${JOBS:-2}"

mapfile -t targets < <(find "$build/fuzz" -maxdepth 2 -type f -name 'fuzz_*' -perm -u+x | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for target in "${targets[@]}"; do
  name=$(basename "$target")
  folder=$(basename "$(dirname "$target")")
  corpus="$work/$name"
  mkdir -p "$corpus"
  short=${name#fuzz_}
  short=${short#"${folder}_"}
  short=${short#zip_}
  for seeds in "fuzz/$folder/seeds/$short" "fuzz/$folder/seeds/$name"; do
    if [ -d "$seeds" ]; then cp -r "$seeds"/. "$corpus"/; fi
  done
  echo "== fuzz: $name for ${seconds}s"
  (cd "$work" && "$OLDPWD/$target" "$corpus" -max_total_time="$seconds" -seed="$seed" -timeout=10 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=0 2>"$work/$name.log") || {
    tail -n 60 "$work/$name.log" >&2
    echo "fuzz target $name failed" >&2
    exit 1
  }
  grep -E "^Done [0-9]+ runs" "$work/$name.log" || true
done
echo "== fuzz: all targets clean"
