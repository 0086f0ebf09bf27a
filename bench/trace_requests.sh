#!/usr/bin/env bash
# Runs the bench driver once in build/bench's Wine prefix under a wineserver of its own whose
# standard error is kept: with WINEDEBUG=+server in a contestant, that server writes a line for
# every request it serves from then on. Leaves the trace gzipped at TRACE (a host path).
# Usage: trace_requests.sh TRACE DRIVER.exe ARGS...  (the driver's output is passed through)
# The prefix must exist already: bench.py runs its empty runs through scripts/wine-run first.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/vm/common.sh"
[ $# -ge 2 ] || { echo "usage: trace_requests.sh TRACE DRIVER.exe ARGS..." >&2; exit 2; }
trace=$1 driver=$(realpath -- "$2"); shift 2
build=$(realpath -- "$here/../build/bench")

# The same prefix, display and settings as scripts/wine-run gives build/bench.
body() {
  local prefix=$1 home=$2 display=$3 guest_trace=$4
  shift 4
  cat <<SCRIPT
export WINEPREFIX=$(printf %q "$prefix") HOME=$(printf %q "$home") DISPLAY=$display
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
[ -f "\$WINEPREFIX/.uninst-ready" ] || { echo "error no prepared prefix at \$WINEPREFIX" ; exit 1; }
# Only the server started here writes its trace where it can be read: stop this prefix's own.
wineserver -k 2>/dev/null; wineserver -w
rm -f $(printf %q "$guest_trace")
wineserver -p 2>$(printf %q "$guest_trace")
cd $(printf %q "$build")
timeout --kill-after=10 3600 wine $(printf '%q ' "$driver" "$@")
rc=\$?
# Ending the server closes the trace; the next scripts/wine-run starts a fresh one.
wineserver -k 2>/dev/null; wineserver -w
gzip -c $(printf %q "$guest_trace") >$(printf %q "$trace") && rm -f $(printf %q "$guest_trace")
exit \$rc
SCRIPT
}

if host_runs_i386; then
  body "$build/wine/prefix" "$build/wine/home" "$(cat "$build/wine/display")" "$build/wine/trace.log" "$@" | bash
else
  prefix_id=$(printf '%s' "$build" | sha256sum | cut -c1-12)
  "$here/../scripts/vm/start" || exit 1
  # The guest's own disk: the trace is large and written line by line.
  body "/root/prefixes/$prefix_id" /root/home ":0" "/tmp/bench-trace-$prefix_id.log" "$@" | vm_exec
fi
