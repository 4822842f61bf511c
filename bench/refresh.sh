#!/usr/bin/env bash
# Times the archive refresh: a catalogue of 200 archives of 200 KB each served on
# 127.0.0.1 (demo/serve.py: a static server that answers If-Modified-Since with 304),
# from the click on "更新 UI" to the last archive in the cache, against urlfetch
# (bench/urlfetch.cpp: the same transfers with URLDownloadToFileW, one thread each, no
# window, under the same Wine) and curl --parallel fetching the same files from the same
# server. Then a second "更新 UI" with nothing changed on the server: its time, and the
# body bytes it moved against the first refresh's (from the server's request log).
#   bench/refresh.sh [COUNT] [KILOBYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-200}
kib=${2:-200}

tools/install-deps.sh
command -v curl >/dev/null || apt-get install -y -q curl

cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target VornisTools e2e_bench e2e_fake_game bench_urlfetch
# The server listens where this build's manager looks for it.
host=$(sed -n 's/^VORNIS_UPDATE_HOST:[A-Z]*=//p' build/windows/CMakeCache.txt)
port=${host##*:}
[ "$port" != "$host" ] || port=80

work=$PWD/build/bench-refresh
rm -rf "$work"
mkdir -p "$work/site/zip"
python3 - "$work/site" "$count" "$kib" <<'PY'
import os, sys, zipfile
site, count, kib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
items = []
for i in range(count):
    folder = f"Bench{i:03d}"
    with zipfile.ZipFile(os.path.join(site, "zip", folder + ".zip"), "w", zipfile.ZIP_STORED) as z:
        z.writestr(f"Addons/{folder}/", b"")
        z.writestr(f"Addons/{folder}/data.bin", os.urandom(kib * 1024))
    items.append(f'<Item plugName="測試{i:03d}" plugid="{i}" plugfolder="{folder}" '
                 f'plugdescribe="bench" plugauthor="bench"/>')
with open(os.path.join(site, "Data.xml"), "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<plug>\n' +
            "\n".join(items) + "\n</plug>\n")
with open(os.path.join(site, "UPdate.ini"), "w") as f:
    f.write("[updataver]\r\nver=0\r\n")
PY

# The build verifies what it loads: sign the publication with the build tree's key.
if [ -f build/windows/publisher/private.pem ]; then
    for f in Data.xml UPdate.ini; do
        python3 tools/publisher_key.py sign build/windows/publisher/private.pem "$work/site/$f"
    done
fi
log=$work/server.log
python3 demo/serve.py "$work/site" --bind 127.0.0.1 --port "$port" --log "$log" 2>/dev/null &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1

export WINEPREFIX=$PWD/build/windows/wineprefix
result=$(tools/with-display tools/wine/run build/windows/tests/e2e/e2e_bench.exe \
    refresh bench-refresh "$work/site" "$count" | tr -d '\r')
ours=$(echo "$result" | sed -n 's/^refresh_ms=\([0-9]*\).*/\1/p')
again=$(echo "$result" | sed -n 's/^second_refresh_ms=\([0-9]*\).*/\1/p')
# Body bytes of each refresh: the archive requests in log order, COUNT per refresh; a
# 200 moves the whole file, a 304 nothing.
read -r first_bytes second_bytes first_304 second_304 < <(python3 - "$log" "$work/site" "$count" <<'PY'
import os, re, sys
log, site, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
answers = []
for line in open(log, encoding="utf-8"):
    m = re.search(r'"GET (/zip/\S+) HTTP/[\d.]+" (\d+)', line)
    if m:
        answers.append((m.group(1), int(m.group(2))))
def tally(part):
    moved = sum(os.path.getsize(site + path) for path, status in part if status == 200)
    return moved, sum(1 for _, status in part if status == 304)
(b1, n1), (b2, n2) = tally(answers[:count]), tally(answers[count:2 * count])
print(b1, b2, n1, n2)
PY
)

mkdir -p "$work/urlfetch"
: > "$work/urlfetch.list"
for f in "$work"/site/zip/*.zip; do
    printf 'http://127.0.0.1:%s/zip/%s\tZ:%s\n' "$port" "$(basename "$f")" \
        "$(echo "$work/urlfetch/$(basename "$f")" | tr / '\\')" >> "$work/urlfetch.list"
done
floor=$(tools/with-display tools/wine/run build/windows/tests/e2e/bench_urlfetch.exe \
    "Z:$(echo "$work/urlfetch.list" | tr / '\\')" | tr -d '\r' | sed -n 's/^fetch_ms=\([0-9]*\).*/\1/p')

urls=()
for f in "$work"/site/zip/*.zip; do
    urls+=(-o "$work/curl/$(basename "$f")" "http://127.0.0.1:$port/zip/$(basename "$f")")
done
mkdir -p "$work/curl"
start=$(date +%s%N)
curl -s -S --parallel --parallel-max "$count" "${urls[@]}"
theirs=$(( ($(date +%s%N) - start) / 1000000 ))

echo "archives: $count x ${kib} KiB"
echo "manager refresh: ${ours} ms"
echo "urlfetch (Wine): ${floor} ms"
echo "curl --parallel: ${theirs} ms"
python3 -c "print(f'ratio manager/urlfetch: {int(\"$ours\")/max(1,int(\"$floor\")):.2f}')"
python3 -c "print(f'ratio manager/curl: {int(\"$ours\")/max(1,int(\"$theirs\")):.2f}')"
echo "second refresh (nothing changed): ${again} ms, ${second_304} of $count answered 304"
echo "body bytes: first ${first_bytes}, second ${second_bytes}"
python3 -c "print(f'ratio second/first time: {int(\"$again\")/max(1,int(\"$ours\")):.2f} (bound 0.30)')"
python3 -c "print(f'ratio second/first bytes: {int(\"$second_bytes\")/max(1,int(\"$first_bytes\")):.4f} (bound 0.01)')"
