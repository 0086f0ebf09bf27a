# Shared settings of the test machine scripts (sourced, not run).
# ROOT: the source tree, shared with the guest at the same path so every build path is valid there.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
IMAGE_DIR=${UNINST_VM_IMAGE_DIR:-/var/cache/uninst-vm}
STATE_DIR="$ROOT/build/.vm"
QUEUE_DIR="$STATE_DIR/queue"

vm_alive() {
  [ -f "$STATE_DIR/qemu.pid" ] && kill -0 "$(cat "$STATE_DIR/qemu.pid")" 2>/dev/null &&
    [ -f "$QUEUE_DIR/ready" ] && [ "$(cat "$STATE_DIR/boot.id" 2>/dev/null)" = "$(cat "$QUEUE_DIR/ready")" ]
}

# True when this host runs 32-bit programs itself; then Wine runs here and no machine is needed.
host_runs_i386() {
  [ -z "${UNINST_FORCE_VM:-}" ] && [ -x /usr/lib/wine/wine ] &&
    [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386-build ] &&
    /usr/lib/wine/wine --version >/dev/null 2>&1
}
