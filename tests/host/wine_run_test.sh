#!/usr/bin/env bash
# The native branch of scripts/wine-run, runnable on any host: Wine is replaced by stand-ins
# (UNINST_WINE) whose wineboot and wineserver leave daemons running, as Wine's do, while Xvfb and
# the window manager are real. Runs in a row, at once and in two prefixes at once must each give
# back their program's exit code, on a display of their own, and no process may hold a lock
# file afterwards (one that did made every later run wait forever).
set -uo pipefail
runner=$(cd "$(dirname "$0")/../../scripts" && pwd)/wine-run
work=$(mktemp -d)
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

cleanup() {
  for state in "$work"/build/wine*; do
    [ -d "$state" ] || continue
    kill "$(cat "$state/wm.pid" 2>/dev/null)" "$(cat "$state/xvfb.pid" 2>/dev/null)" 2>/dev/null
  done
  [ -f "$work/daemons" ] && xargs -r kill <"$work/daemons" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/wine" "$work/build/bin"
touch "$work/build/CMakeCache.txt"
# Each stand-in daemon inherits every descriptor its starter had open, as Wine's do.
cat >"$work/wine/wineboot" <<EOF
#!/bin/sh
mkdir -p "\$WINEPREFIX/drive_c"
sleep 300 </dev/null >/dev/null 2>&1 &
echo \$! >>"$work/daemons"
EOF
cat >"$work/wine/wineserver" <<EOF
#!/bin/sh
case "\$1" in
  -p) sleep 300 </dev/null >/dev/null 2>&1 & echo \$! >>"$work/daemons" ;;
esac
exit 0
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$work/wine/wine"
# The program: its exit code is its argument; it fails when its display does not answer.
cat >"$work/build/bin/prog.exe" <<'EOF'
#!/bin/sh
xdpyinfo >/dev/null 2>&1 || exit 99
exit "$1"
EOF
chmod +x "$work"/wine/* "$work/build/bin/prog.exe"
export UNINST_WINE="$work/wine" UNINST_WINE_TIMEOUT=60

# Runs the program with exit code $1 in the prefix tagged $2 (may be empty), bounded so that a
# run waiting for a lock fails instead of hanging.
run() { UNINST_WINE_PREFIX_TAG=$2 timeout 90 "$runner" "$work/build/bin/prog.exe" "$1"; }
expect() { [ "$2" = "$3" ] || fail "$1: exit code $3, expected $2"; }

run 3 ""; expect "first run" 3 $?
run 4 ""; expect "second run in a row" 4 $?

pids=()
for code in 11 12 13 14; do run $code "" & pids+=($!); done
for i in 0 1 2 3; do wait "${pids[$i]}"; expect "run $((i + 1)) of four at once" $((11 + i)) $?; done

# Two prefixes that start their X servers at the same moment must get two displays.
run 21 a & first=$!
run 22 b & second=$!
wait $first; expect "prefix a beside b" 21 $?
wait $second; expect "prefix b beside a" 22 $?
for tag in a b; do
  kill -0 "$(cat "$work/build/wine-$tag/xvfb.pid" 2>/dev/null)" 2>/dev/null || fail "the X server of prefix $tag is gone"
done
[ "$(cat "$work/build/wine-a/display")" != "$(cat "$work/build/wine-b/display")" ] || fail "prefixes a and b share a display"

holders=$(find /proc/[0-9]*/fd -lname "$work/*lock" -printf '%h\n' 2>/dev/null | cut -d/ -f3 | sort -u)
for pid in $holders; do fail "process $pid ($(tr '\0' ' ' </proc/$pid/cmdline 2>/dev/null)) holds a lock file"; done

[ "$failures" = 0 ] || exit 1
echo "wine-run: every native case passed"
