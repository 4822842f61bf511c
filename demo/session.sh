#!/usr/bin/env bash
# One demo session on the current display: starts the installed manager under Wine in a
# virtual desktop and waits until it has ended. Called by run.sh, which sets:
#   VORNIS_DEMO_ROOT        repository root
#   VORNIS_DEMO_INSTALL     folder holding VornisTools.exe and Config.ini
#   VORNIS_DEMO_LOG         request log of the demo server
#   VORNIS_DEMO_ADDONS      number of add-ons the catalogue lists
#   VORNIS_DEMO_SCREENSHOT  where the screenshot goes
#   VORNIS_DEMO_HEADLESS=1  on a private Xvfb display: take the screenshot once the
#                           first catalogue load is through, then end the manager
#                           (unless VORNIS_DEMO_KEEP=1)
#   WINEPREFIX              the demo's own prefix
set -u

install=$VORNIS_DEMO_INSTALL
exe_path="Z:${install//\//\\}\\VornisTools.exe"

cd "$install"
"$VORNIS_DEMO_ROOT/tools/wine/run" explorer "/desktop=VornisTools,1280x1024" "$exe_path" &
wine_pid=$!

desktop_up() {
    xwininfo -root -tree 2>/dev/null | grep -q '"VornisTools - Wine desktop"'
}

# Catalogue loaded and every archive requested, as seen by the server.
catalogue_through() {
    local archives
    grep -q 'GET /Data.xml ' "$VORNIS_DEMO_LOG" || return 1
    archives=$(grep -o 'GET /zip/[^ ]*\.zip ' "$VORNIS_DEMO_LOG" | sort -u | wc -l)
    [ "$archives" -ge "$VORNIS_DEMO_ADDONS" ]
}

if [ "${VORNIS_DEMO_HEADLESS:-0}" = 1 ]; then
    # The first start also creates the Wine prefix, which takes a while.
    for _ in $(seq 1 600); do
        desktop_up && break
        kill -0 "$wine_pid" 2>/dev/null || break
        sleep 0.2
    done
    if desktop_up; then
        # Give the automatic update (3 s after the window shows) time to load the
        # catalogue; stop waiting early once the server has seen it through.
        for _ in $(seq 1 120); do
            catalogue_through && break
            kill -0 "$wine_pid" 2>/dev/null || break
            sleep 0.25
        done
        sleep 3
        mkdir -p "$(dirname "$VORNIS_DEMO_SCREENSHOT")"
        if import -window root "$VORNIS_DEMO_SCREENSHOT"; then
            echo "screenshot: $VORNIS_DEMO_SCREENSHOT"
        fi
    else
        echo "session.sh: the Wine desktop did not come up" >&2
    fi
    if [ "${VORNIS_DEMO_KEEP:-0}" != 1 ]; then
        wineserver -k >/dev/null 2>&1 || true
        wait "$wine_pid" 2>/dev/null
        exit 0
    fi
fi

wait "$wine_pid"
status=$?
wineserver -w >/dev/null 2>&1 || true
exit $status
