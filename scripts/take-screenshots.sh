#!/usr/bin/env bash
# Takes the README's screenshots (confirmation box, progress dialog, read-only prompt) from a
# scripted run of the window tests under the test display, and stores them as docs/*.png.
# Usage: scripts/take-screenshots.sh [BUILD_FOLDER]   (default build/win32; built beforehand)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/win32}")
shots=$build/shots
rm -rf "$shots" && mkdir -p "$shots"
# The guest sees the host's / as Z:, so the folder keeps its path there.
export UNINST_TEST_SHOTS="Z:${shots//\//\\}"
"$root/scripts/wine-run" "$build/bin/windows_tests.exe" \
  --gtest_filter='RunWindows.ProgressDialog*:RunWindows.ReadOnlyPromptShows*'
"$root/scripts/wine-run" "$build/bin/windows_e2e_tests.exe" \
  --gtest_filter='UninstallRun.ConfirmedRunEndsWithTheFinalNotice'
for name in confirmation progress read-only-prompt; do
  convert "$shots/$name.bmp" -strip "$root/docs/$name.png"
done
ls -l "$root/docs"/*.png
