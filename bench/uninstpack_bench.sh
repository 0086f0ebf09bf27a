#!/usr/bin/env bash
# Times the authoring tool on large manifests: build, verify of the manifest, verify and inspect
# of the built file, at N records (default 10,000, 100,000 and 1,000,000). The manifest holds
# N/50 folder records and their files, so verify's check that a folder's record comes before what
# it holds has work to do. Usage: bench/uninstpack_bench.sh [N...]; results in bench/UNINSTPACK.md.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=$root/build/host/bin/uninstpack
stub=$root/build/win32/bin/uninst.exe
[ -x "$tool" ] && [ -f "$stub" ] || { echo "uninstpack_bench: run make build first" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(10000 100000 1000000)

# "wall/cpu" seconds: the machine is shared, so the processor time (user + system) is the figure
# that compares across runs; the wall time shows what a person waits.
seconds() {
  /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%.2f/%.2f", $1, $2 + $3 }' "$work/time"
}

echo "| records | build (s, wall/cpu) | verify manifest | verify built file | inspect |"
echo "|---:|---:|---:|---:|---:|"
for n in "${sizes[@]}"; do
  python3 - "$n" >"$work/m.json" <<'PY'
import json, sys
n = int(sys.argv[1])
files = []
for i in range(n):
    folder = ".\\d%05d" % (i // 50)
    if i % 50 == 0:
        files.append({"directory": folder})
    else:
        files.append({"directory": folder, "fileName": "f%07d.txt" % i})
messages = {str(k): "text %d" % k for k in range(16)}
json.dump({"messages": messages, "files": files}, sys.stdout)
PY
  b=$(seconds "$tool" build "$work/m.json" --stub "$stub" -o "$work/u.exe")
  vm=$(seconds "$tool" verify "$work/m.json")
  vb=$(seconds "$tool" verify "$work/u.exe")
  i=$(seconds "$tool" inspect "$work/u.exe")
  printf '| %s | %s | %s | %s | %s |\n' "$n" "$b" "$vm" "$vb" "$i"
done
