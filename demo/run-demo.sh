#!/usr/bin/env bash
# make demo: builds the sample application's uninstaller with uninstpack, shows what it will
# remove, and has demo_driver.exe install the application into a fresh Wine prefix, run the
# uninstaller through its dialogs and report before and after; then the same again with the
# tool's German texts, the uninstaller writing its log (/L), which is shown. Screenshots end up
# as PNG files in build/demo/screenshots (de-*.png for the German run). Run after `make build`
# (the Makefile's demo target does that).
# Environment: UNINST_DEMO_WIN32 and UNINST_DEMO_HOST name other build folders of the two presets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win32=$(realpath "${UNINST_DEMO_WIN32:-$root/build/win32}")
host=$(realpath "${UNINST_DEMO_HOST:-$root/build/host}")
demo=$root/build/demo
started=$(date +%s.%N)

for f in "$win32/bin/demo_driver.exe" "$win32/bin/uninst.exe" "$host/bin/uninstpack"; do
  [ -f "$f" ] || { echo "demo: $f is missing; run make build first" >&2; exit 2; }
done

# Its own build folder, so scripts/wine-run gives the demo a prefix of its own; the folder's
# wine/ state (a display, on hosts that run Wine themselves) is kept between runs.
rm -rf "$demo/bin" "$demo/shots" "$demo/screenshots" "$demo/pre-removal.log" "$demo/Sample Notes uninstall.log"
mkdir -p "$demo/bin" "$demo/screenshots"
echo "# Marks build/demo as a build folder for scripts/wine-run; not a CMake build." >"$demo/CMakeCache.txt"
cp "$win32/bin/demo_driver.exe" "$demo/bin/"
[ -f "$win32/bin/keep_desktop.exe" ] && cp "$win32/bin/keep_desktop.exe" "$demo/bin/"

manifest=$root/examples/sample-manifest.json
uninst=$demo/bin/sample-uninst.exe
echo "== uninstpack build ${manifest#$root/} --stub ${win32#$root/}/bin/uninst.exe -o ${uninst#$root/}"
"$host/bin/uninstpack" build "$manifest" --stub "$win32/bin/uninst.exe" -o "$uninst"
echo
echo "== uninstpack verify ${uninst#$root/}"
"$host/bin/uninstpack" verify "$uninst"
echo
echo "== uninstpack inspect ${uninst#$root/}: what the uninstaller will remove"
"$host/bin/uninstpack" inspect "$uninst"
echo

# Installs into a fresh prefix, removes with the uninstaller, and keeps the run's screenshots as
# PNG files named with the prefix $1; further arguments go to the driver (/log).
shopt -s nullglob
shot_count=0
drive() {
  rm -rf "$demo/shots"
  local rc=0
  UNINST_FRESH_PREFIX=1 "$root/scripts/wine-run" "$demo/bin/demo_driver.exe" "${@:2}" || rc=$?
  for bmp in "$demo"/shots/*.bmp; do
    convert "$bmp" -strip "$demo/screenshots/$1$(basename "${bmp%.bmp}").png"
    shot_count=$((shot_count + 1))
  done
  return $rc
}

driver_started=$(date +%s.%N)
rc=0
drive "" || rc=$?
driver_ended=$(date +%s.%N)

# The same application with the tool's German texts: its manifest without messages, naming the
# language and the product instead.
manifest_de=$demo/bin/sample-manifest-de.json
python3 - "$manifest" "$manifest_de" <<'PY'
import json, sys
m = json.load(open(sys.argv[1], encoding="utf-8"))
m.pop("messages", None)
m = {"language": "de", "product": "Sample Notes", **m}
json.dump(m, open(sys.argv[2], "w", encoding="utf-8"), ensure_ascii=False, indent=2)
PY
echo
echo "== the same with German texts: uninstpack build ${manifest_de#$root/} (\"language\": \"de\") -o ${uninst#$root/}"
"$host/bin/uninstpack" build "$manifest_de" --stub "$win32/bin/uninst.exe" -o "$uninst"
"$host/bin/uninstpack" verify --strict "$uninst"
echo
drive de- /log || rc=$?
german_ended=$(date +%s.%N)

echo
echo "screenshots (PNG): ${demo#$root/}/screenshots/ ($shot_count files)"
awk -v a="$started" -v b="$driver_started" -v c="$driver_ended" -v d="$german_ended" \
  'BEGIN { printf "time: %.0f s in all (%.0f s for the fresh prefix, installation, run and report; %.0f s for the German run)\n", d - a, c - b, d - c }'
exit $rc
