# Shared settings of the test machine scripts (sourced, not run).
# ROOT: the source tree, shared with the guest at the same path so every build path is valid there.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
IMAGE_DIR=${UNINST_VM_IMAGE_DIR:-/var/cache/uninst-vm}
STATE_DIR=${UNINST_VM_STATE_DIR:-"$ROOT/build/.vm"}
QUEUE_DIR="$STATE_DIR/queue"

vm_alive() {
  [ -f "$STATE_DIR/qemu.pid" ] && kill -0 "$(cat "$STATE_DIR/qemu.pid")" 2>/dev/null &&
    [ -f "$QUEUE_DIR/ready" ] && [ "$(cat "$STATE_DIR/boot.id" 2>/dev/null)" = "$(cat "$QUEUE_DIR/ready")" ]
}

# True when this host runs 32-bit programs itself; then Wine runs here and no machine is needed.
host_runs_i386() {
  [ -n "${UNINST_WINE:-}" ] && return 0
  [ -z "${UNINST_FORCE_VM:-}" ] && [ -x /usr/lib/wine/wine ] &&
    [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386-build ] &&
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

# Runs the shell lines on standard input in the test machine; prints their output and
# returns their exit status. The machine must be running.
vm_exec() {
  local id req
  id="$(date +%s%N)-$$-$RANDOM"
  req="$QUEUE_DIR/$id"
  cat >"$req.tmp"
  mv "$req.tmp" "$req.req"
  # The wait starts no process: a sleep and the machine's check twenty times a second, for each
  # of the suite's parallel requests, took a tenth of a host core from the machine itself. A
  # read on a pipe nobody writes to waits out its timeout; the machine is checked once a second.
  local idle polls=0
  exec {idle}<> <(:)
  while [ ! -f "$req.rc" ]; do
    if (( ++polls % 20 == 0 )) && ! vm_alive; then
      exec {idle}<&-
      echo "vm: the test machine stopped during a request" >&2
      return 1
    fi
    read -r -t 0.05 -u "$idle" _
  done
  exec {idle}<&-
  cat "$req.out"
  cat "$req.err" >&2
  local rc
  rc=$(cat "$req.rc")
  rm -f "$req.run" "$req.out" "$req.err" "$req.rc"
  return "$rc"
}
