#!/usr/bin/env bash
# Runs VornisTools against the demo publication:
#   - installs what is missing (Debian 12, as root) and builds the windows preset;
#   - serves the demo site on the update server address of the build (127.0.0.1:8611);
#   - lays out a portable install in build/demo/install (VornisTools.exe, Config.ini)
#     whose game path points at a copy of the stand-in game in build/demo/game;
#   - starts the manager under Wine in a virtual desktop and stops the server when the
#     manager has ended.
# Without DISPLAY it runs on Xvfb, saves build/demo/screenshot.png after the first
# catalogue load and then ends the manager.
# Environment: VORNIS_DEMO_KEEP=1 keeps the manager running after the screenshot;
# VORNIS_DEMO_FRESH=1 starts from an empty install and game folder; JOBS sets the
# build parallelism.
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

tools/install-deps.sh

jobs=${JOBS:-$(nproc)}
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs" --target VornisTools demo

build=$root/build/windows
site=$build/demo/site
manifest=$build/demo/addons.json
built_game=$build/demo/game/client/bin/VNgame.exe
for f in "$site/Data.xml" "$site/VornisTools.exe" "$manifest" "$built_game"; do
    if [ ! -f "$f" ]; then
        echo "run.sh: the build did not produce $f" >&2
        exit 1
    fi
done

update_host=$(sed -n 's/^VORNIS_UPDATE_HOST:STRING=//p' "$build/CMakeCache.txt")
host=${update_host%:*}
port=${update_host##*:}
[ "$host" = "$update_host" ] && port=80
case "$host" in
    127.0.0.1 | localhost) ;;
    *)
        echo "run.sh: this build talks to $update_host, not to a loopback demo server;" >&2
        echo "        configure build/windows with VORNIS_UPDATE_HOST=127.0.0.1:PORT" >&2
        exit 1
        ;;
esac
version=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1], encoding="utf-8"))["version"])' "$manifest")
addon_count=$(python3 -c 'import json, sys; print(len(json.load(open(sys.argv[1], encoding="utf-8"))["addons"]))' "$manifest")

# Portable install and the game it manages.
demo=$root/build/demo
install=$demo/install
game=$demo/game/client
if [ "${VORNIS_DEMO_FRESH:-0}" = 1 ]; then
    rm -rf "$install" "$demo/game"
fi
mkdir -p "$install" "$game/bin" "$game/data/Mods/Addons"
cp "$site/VornisTools.exe" "$install/VornisTools.exe"
cp "$built_game" "$game/bin/VNgame.exe"

# Config.ini in the ANSI code page of a Traditional Chinese system, CR LF lines. The
# recorded version equals the published one, so the manager does not update itself.
python3 - "$install/Config.ini" "Z:${game//\//\\}\\bin\\VNgame.exe" "$version" <<'EOF'
import sys
path, game_path, version = sys.argv[1:]
text = (f"[game]\r\ngamepath={game_path}\r\n"
        f"[updata]\r\nautoupdata=1\r\nnum=0\r\n"
        f"[updataver]\r\nver={version}\r\n")
with open(path, "w", encoding="cp950", newline="") as f:
    f.write(text)
EOF

# The demo server.
if python3 -c 'import socket, sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 1)' \
    "$host" "$port" 2>/dev/null; then
    echo "run.sh: something already listens on $host:$port; stop it first" >&2
    exit 1
fi
log=$demo/server.log
: >"$log"
python3 demo/serve.py "$site" --bind 127.0.0.1 --port "$port" --log "$log" &
server_pid=$!
stop_server() {
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
}
trap stop_server EXIT
trap 'exit 130' INT TERM
for _ in $(seq 1 100); do
    python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
        "$port" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || { echo "run.sh: the demo server did not start" >&2; exit 1; }
    sleep 0.1
done
echo "demo publication (version $version, $addon_count add-ons) on http://127.0.0.1:$port/"

# The manager, in its own Wine prefix so it never disturbs a test run.
export WINEPREFIX=$demo/wineprefix
export VORNIS_DEMO_ROOT=$root
export VORNIS_DEMO_INSTALL=$install
export VORNIS_DEMO_LOG=$log
export VORNIS_DEMO_ADDONS=$addon_count
export VORNIS_DEMO_SCREENSHOT=$demo/screenshot.png
if [ -z "${DISPLAY:-}" ]; then
    export VORNIS_DEMO_HEADLESS=1
fi
tools/with-display demo/session.sh
