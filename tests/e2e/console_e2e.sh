#!/usr/bin/env bash
# The program as a user starts it, on a virtual X server: the console appears with its
# template's size; Enter and SIGTERM end it with exit code 0; arguments change nothing; a
# second copy has its own console; without the skin library the program does not start.
#   usage: console_e2e.sh PROGRAM DIALOG-SIZE-HELPER
set -uo pipefail
program=$1
sizer=$2
failures=0
tmp=$(mktemp -d /tmp/fw-e2e.XXXXXX)
pids=()

cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null; done
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

export HOME=$tmp/home XDG_CONFIG_HOME=$tmp/home/.config WINEPREFIX=$tmp/home/.wine
export XDG_RUNTIME_DIR=$tmp/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
[ -s "$tmp/display" ] || { echo "Xvfb did not start"; cat "$tmp/xvfb.log"; exit 1; }
export DISPLAY=:$(cat "$tmp/display")
# The server answers once it is ready for clients.
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Waits (bounded) for N visible windows titled Fleetwing; prints their ids.
windows() {
    local want=$1 ids
    for _ in $(seq 200); do
        ids=$(xdotool search --onlyvisible --name '^Fleetwing$' 2>/dev/null || true)
        if [ "$(grep -c . <<<"$ids")" -ge "$want" ]; then
            echo "$ids"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

# Waits (bounded) for a process of this shell to end; sets rc to its exit code, or to
# "running" when it does not end.
ended() {
    local pid=$1
    for _ in $(seq 200); do
        local state
        state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || echo gone)
        if [ "$state" = Z ] || [ "$state" = gone ]; then
            wait "$pid"
            rc=$?
            return
        fi
        sleep 0.1
    done
    rc=running
}

start() {
    "$program" "$@" >>"$tmp/program.log" 2>&1 &
    pids+=($!)
    last=$!
}

expected=$("$sizer" 102) || { echo "no size for template 102"; exit 1; }

start
if ids=$(windows 1); then
    id=$(head -n 1 <<<"$ids")
    size=$(xwininfo -id "$id" | awk '/^  Width:/ {w=$2} /^  Height:/ {h=$2} END {print w "x" h}')
    [ "$size" = "$expected" ] && pass "console is ${size}" || fail "console is $size, template is $expected"
    xdotool windowfocus --sync "$id" 2>/dev/null
    sleep 0.3
    xdotool key Return
    ended "$last"
    [ "$rc" = 0 ] && pass "Enter ends with 0" || fail "Enter: exit $rc"
else
    fail "no console window appeared"
fi

start -tray --anything
if ids=$(windows 1); then
    pass "arguments give the same console"
    xdotool windowfocus --sync "$(head -n 1 <<<"$ids")" 2>/dev/null
    sleep 0.3
    xdotool key Escape
    sleep 1
    if kill -0 "$last" 2>/dev/null && xwininfo -id "$(head -n 1 <<<"$ids")" >/dev/null 2>&1; then
        pass "Escape keeps the program and its window"
    else
        fail "Escape ended the program"
    fi
    kill -TERM "$last"
    ended "$last"
    [ "$rc" = 0 ] && pass "SIGTERM ends with 0" || fail "SIGTERM: exit $rc"
else
    fail "no console with arguments"
fi

start
first=$last
windows 1 >/dev/null
start
second=$last
if windows 2 >/dev/null; then pass "a second copy has its own console"; else fail "second console missing"; fi
kill -INT "$first"
kill -HUP "$second"
ended "$first"
rc1=$rc
ended "$second"
rc2=$rc
[ "$rc1" = 0 ] && [ "$rc2" = 0 ] && pass "SIGINT and SIGHUP end with 0" || fail "SIGINT: $rc1, SIGHUP: $rc2"

mkdir -p "$tmp/alone"
cp "$program" "$tmp/alone/"
"$tmp/alone/$(basename "$program")" >"$tmp/alone.log" 2>&1 &
ended $!
if [ "$rc" != 0 ] && [ "$rc" != running ] && grep -q fwskin "$tmp/alone.log"; then
    pass "without the skin library the program does not start"
else
    fail "without the skin library: exit $rc"
fi

if [ "$failures" -ne 0 ]; then
    echo "--- program output"
    cat "$tmp/program.log"
    exit 1
fi
exit 0
