#!/usr/bin/env bash
# Times the catalogue load: a catalogue of 10,000 items served on 127.0.0.1, through the
# real executable from the click on "更新 UI" until the status check has counted every
# row (the list filled, the archive refresh started, the states shown), against MSXML
# alone (bench/msxmlparse.cpp) parsing the same document and reading every item's five
# attributes under the same Wine. Items carry an archive's size and SHA-256, as published
# catalogues do. The archives are not published: each transfer the
# refresh starts ends at once with a 404, as the measured span ends with the status check.
# Also prints the longest time the main window took to answer a message meanwhile.
#   bench/catalogue.sh [COUNT]
set -euo pipefail
cd "$(dirname "$0")/.."
count=${1:-10000}

tools/install-deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target VornisTools e2e_bench e2e_fake_game bench_msxmlparse
# The server listens where this build's manager looks for it.
host=$(sed -n 's/^VORNIS_UPDATE_HOST:[A-Z]*=//p' build/windows/CMakeCache.txt)
port=${host##*:}
[ "$port" != "$host" ] || port=80

work=$PWD/build/bench-catalogue
rm -rf "$work"
mkdir -p "$work/site"
python3 - "$work/site" "$count" <<'PY'
import os, random, sys
site, count = sys.argv[1], int(sys.argv[2])
random.seed(11)
han = [chr(c) for c in range(0x4E00, 0x9FA5)]
items = []
for i in range(count):
    name = "".join(random.choice(han) for _ in range(random.randint(2, 8)))
    describe = "".join(random.choice(han) for _ in range(random.randint(8, 30)))
    items.append(f'<Item plugName="{name}{i}" plugid="{i}" plugfolder="Addon{i:05d}" '
                 f'plugdescribe="{describe}" plugauthor="作者{i % 97}" '
                 f'plugsize="{1000 + i}" plugsha256="{i:064x}"/>')
with open(os.path.join(site, "Data.xml"), "w", encoding="utf-8") as f:
    f.write('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<plug>\n' +
            "\n".join(items) + "\n</plug>\n")
with open(os.path.join(site, "UPdate.ini"), "w") as f:
    f.write("[updataver]\r\nver=0\r\n")
PY
echo "catalogue: $count items, $(du -h "$work/site/Data.xml" | cut -f1)"

# The build verifies what it loads: sign the publication with the build tree's key.
if [ -f build/windows/publisher/private.pem ]; then
    for f in Data.xml UPdate.ini; do
        python3 tools/publisher_key.py sign build/windows/publisher/private.pem "$work/site/$f"
    done
fi
python3 -m http.server --bind 127.0.0.1 --directory "$work/site" "$port" >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
sleep 1

export WINEPREFIX=$PWD/build/windows/wineprefix
line=$(tools/with-display tools/wine/run build/windows/tests/e2e/e2e_bench.exe \
    catalogue bench-catalogue "$work/site" "$count" | tr -d '\r' | grep '^catalogue_ms=')
ours=$(echo "$line" | sed -n 's/^catalogue_ms=\([0-9]*\).*/\1/p')
longest=$(echo "$line" | sed -n 's/.*longest_unanswered_ms=\([0-9]*\).*/\1/p')

floor_line=$(tools/with-display tools/wine/run build/windows/tests/e2e/bench_msxmlparse.exe \
    "Z:$(echo "$work/site/Data.xml" | tr / '\\')" | tr -d '\r')
parse=$(echo "$floor_line" | sed -n 's/^parse_ms=\([0-9]*\).*/\1/p')
walk=$(echo "$floor_line" | sed -n 's/.*walk_ms=\([0-9]*\).*/\1/p')
floor=$((parse + walk))

echo "manager load to status check: ${ours} ms (window unanswered at most ${longest} ms)"
echo "MSXML parse + attribute walk: ${floor} ms (parse ${parse}, walk ${walk})"
python3 -c "print(f'ratio manager/MSXML: {int(\"$ours\")/max(1,int(\"$floor\")):.2f}')"
