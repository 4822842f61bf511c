#!/usr/bin/env bash
# Times the manager's start against a bare Win32 window (bench/barewindow.cpp: a class
# registered, a 584 x 677 window created and shown) under the same Wine, and the floor
# window (bench/startfloor.cpp: the bare one with the common controls 6, OLE and child
# windows of the kinds and number of the manager's main window, i.e. what Wine costs for
# what the manager cannot show its window without): the launcher
# bench/startwatch.cpp starts each RUNS times in turn (after one start of each that is
# not counted), each from its own folder, and reads for every start
#   - process start to the main window visible, and until it has painted;
#   - the working set 3 s after the start;
#   - for the manager, the time until the first catalogue row is shown, with the
#     automatic update on, against the demo publication served on the build's update
#     server port (game path set, recorded version = published one, so no self-update).
# Prints the medians and the ratios manager / bare window and floor / bare window. The
# Wine prefix is the bench's own, with a desktop folder of its own: other prefixes share
# the user's home as their desktop, and a shortcut written there by another copy would be
# rewritten at every start.
#   bench/startup.sh [RUNS] [EXE]     (EXE: another VornisTools.exe to time, e.g. an older build)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-7}
exe=${2:-}

tools/install-deps.sh
[ -f build/windows/CMakeCache.txt ] || cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target VornisTools demo bench_barewindow bench_startfloor bench_startwatch

build=$PWD/build/windows
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
update_host=$(cache VORNIS_UPDATE_HOST)
host=${update_host%:*}
port=${update_host##*:}
[ "$host" = "$update_host" ] && port=80
case "$host" in
    127.0.0.1 | localhost) ;;
    *) echo "startup.sh: the build talks to $update_host, not to a loopback server" >&2; exit 1 ;;
esac
site=$(cache VORNIS_DEMO_SITE_DIR)
version=$(cache VORNIS_DEMO_VERSION)

work=$PWD/build/bench-startup
rm -rf "$work"
mkdir -p "$work/bare" "$work/floor" "$work/manager" "$work/game/client/bin" "$work/game/client/data/Mods/Addons"
cp "$build/bench/bench_barewindow.exe" "$work/bare/"
cp "$build/bench/bench_startfloor.exe" "$work/floor/"
cp "${exe:-$build/src/app/VornisTools.exe}" "$work/manager/VornisTools.exe"
cp "$(cache VORNIS_DEMO_GAME_DIR)/client/bin/VNgame.exe" "$work/game/client/bin/"
winpath() { echo "Z:$1" | tr / '\\'; }
printf '[game]\r\ngamepath=%s\r\n[updata]\r\nautoupdata=1\r\n[updataver]\r\nver=%s\r\n' \
    "$(winpath "$work/game/client/bin/VNgame.exe")" "$version" >"$work/manager/Config.ini"

python3 demo/serve.py "$site" --bind "$host" --port "$port" --log "$work/server.log" &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
python3 - "$host" "$port" <<'PY'
import socket, sys, time
for _ in range(100):
    try:
        socket.create_connection((sys.argv[1], int(sys.argv[2])), 1).close()
        break
    except OSError:
        time.sleep(0.1)
PY

export WINEPREFIX=$PWD/build/bench-startup-wineprefix
if [ ! -f "$WINEPREFIX/.vornis-ready" ]; then
    tools/with-display tools/wine/run "$build/bench/bench_startwatch.exe" >/dev/null 2>&1 || true
fi
desktop=$WINEPREFIX/drive_c/users/$(id -un)/Desktop
if [ -L "$desktop" ]; then rm "$desktop"; mkdir "$desktop"; fi
tools/with-display tools/wine/run "$build/bench/bench_startwatch.exe" $((runs + 1)) \
    bare "$(winpath "$work/bare/bench_barewindow.exe")" \
    floor "$(winpath "$work/floor/bench_startfloor.exe")" \
    manager "$(winpath "$work/manager/VornisTools.exe")" 2> >(grep -v 'Read access denied' >&2) | tr -d '\r' | tee "$work/runs.txt"

python3 - "$work/runs.txt" "$work/manager/VornisTools.exe" <<'PY'
import os, statistics, sys
runs = {}
for line in open(sys.argv[1]):
    label, *fields = line.split()
    runs.setdefault(label, []).append({k: float(v) for k, v in (f.split("=") for f in fields)})
med = {label: {k: statistics.median(r[k] for r in rs[1:]) for k in rs[0]} for label, rs in runs.items()}
b, f, m = med["bare"], med["floor"], med["manager"]
print(f"starts counted: {len(runs['manager']) - 1} of each (the first of each not counted)")
print(f"{'median':<28}{'bare window':>14}{'floor window':>14}{'VornisTools':>14}{'ratio':>8}{'floor':>8}")
for key, name, unit in [("visible_ms", "start to window visible", "ms"),
                        ("painted_ms", "start to window painted", "ms"),
                        ("working_set_kib", "working set at 3 s", "KiB")]:
    print(f"{name:<28}{b[key]:>11.0f} {unit:<3}{f[key]:>10.0f} {unit:<3}{m[key]:>10.0f} {unit:<3}"
          f"{m[key] / b[key]:>7.2f}x{f[key] / b[key]:>7.2f}x")
print(f"{'start to first catalogue row':<28}{'':>28}{m['first_row_ms']:>10.0f} ms")
print(f"VornisTools.exe: {os.path.getsize(sys.argv[2]) / 1e6:.1f} MB")
PY
