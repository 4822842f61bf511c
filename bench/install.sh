#!/usr/bin/env bash
# Times the install: 50 add-ons of about 2 MB each (hundreds of small files) installed
# through the real executable, from the click on "  安裝選中 UI" to the final status
# text, against the engine alone under Wine (the Windows zipextract, one process
# extracting the same archives in turn into a fresh Mods folder beside the manager's,
# timed inside that process) and against unzip -o -qq of the same archives into a fresh
# folder on the same file system.
#   bench/install.sh [COUNT] [FILES-PER-ADDON]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-50}
files=${2:-250}

tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target VornisTools e2e_bench e2e_fake_game zipextract

work=$PWD/build/bench-install
rm -rf "$work"
mkdir -p "$work/site/zip"
python3 - "$work/site" "$count" "$files" <<'PY'
import hashlib, os, random, sys, zipfile
site, count, files = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
random.seed(7)
words = [bytes(random.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(random.randint(2, 9)))
         for _ in range(2000)]
items = []
for i in range(count):
    folder = f"Addon{i:02d}"
    with zipfile.ZipFile(os.path.join(site, "zip", folder + ".zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(f"Addons/{folder}/", b"")
        for f in range(files):
            sub = f"Addons/{folder}/part{f % 10}/"
            if f < 10:
                z.writestr(sub, b"")
            text = b" ".join(random.choice(words) for _ in range(1400))
            z.writestr(f"{sub}file{f:03d}.lua", text)
    with open(os.path.join(site, "zip", folder + ".zip"), "rb") as z:
        data = z.read()
    items.append(f'<Item plugName="插件{i:02d}" plugid="{i}" plugfolder="{folder}" '
                 f'plugdescribe="bench" plugauthor="bench" plugsize="{len(data)}" '
                 f'plugsha256="{hashlib.sha256(data).hexdigest()}"/>')
with open(os.path.join(site, "Data.xml"), "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8"?>\n<plug>\n' + "\n".join(items) + "\n</plug>\n")
with open(os.path.join(site, "UPdate.ini"), "w") as f:
    f.write("[updataver]\r\nver=0\r\n")
PY
echo "publication: $count add-ons, $(du -sh "$work/site/zip" | cut -f1) of archives"

# The port is shared with the end-to-end tests: wait until it is free.
until python3 -c "import socket; socket.socket().bind(('127.0.0.1', 8611))" 2>/dev/null; do sleep 1; done
# The build verifies what it loads: sign the publication with the build tree's key.
if [ -f build/windows/publisher/private.pem ]; then
    for f in Data.xml UPdate.ini; do
        python3 tools/publisher_key.py sign build/windows/publisher/private.pem "$work/site/$f"
    done
fi
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" 8611 >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1

export WINEPREFIX=$PWD/build/windows/wineprefix
ours=$(tools/with-display tools/wine/run build/windows/tests/e2e/e2e_bench.exe \
    install bench-install "$work/site" "$count" | tr -d '\r' | sed -n 's/^install_ms=\([0-9]*\).*/\1/p')

engine_target=$PWD/build/windows/e2e-work/bench-install-engine/Mods
rm -rf "$(dirname "$engine_target")" && mkdir -p "$engine_target"
engine=$(tools/with-display tools/wine/run build/windows/bench/zipextract.exe \
    $(for f in "$work"/site/zip/*.zip; do printf 'Z:%s ' "${f//\//\\}"; done) \
    "Z:${engine_target//\//\\}" | tr -d '\r' | sed -n 's/^extract_ms=\([0-9]*\).*/\1/p')
rm -rf "$(dirname "$engine_target")"

target="$WINEPREFIX/drive_c/unzip-bench"
rm -rf "$target" && mkdir -p "$target"
start=$(date +%s%N)
for f in "$work"/site/zip/*.zip; do unzip -o -qq "$f" -d "$target"; done
theirs=$(( ($(date +%s%N) - start) / 1000000 ))
rm -rf "$target"

echo "manager install:         ${ours} ms"
echo "engine alone under Wine: ${engine} ms"
echo "unzip -o -qq:            ${theirs} ms"
python3 -c "print(f'ratio manager/engine: {int(\"$ours\")/max(1,int(\"$engine\")):.2f}')"
python3 -c "print(f'ratio manager/unzip:  {int(\"$ours\")/max(1,int(\"$theirs\")):.2f}')"
