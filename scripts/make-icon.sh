#!/usr/bin/env bash
# Makes src/resources/uninst.ico: icon group 800 of the uninstaller, five images (16x16 and
# 32x32 at 16 and 256 colours, 48x48 at 256 colours). The design is a blue box with a white bar
# across it (a box being taken away), drawn without anti-aliasing in four colours, so every size
# fits a 16-colour palette and the output is the same on every run.
# Needs ImageMagick's convert and icoutils' icotool.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$here/src/resources/uninst.ico}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

draw() {  # size file
  local n=$1 m=$(( $1 - 1 ))
  local edge=$(( n / 8 )) bar=$(( n / 8 ))
  local mid=$(( n / 2 ))
  convert -size "${n}x${n}" xc:none +antialias \
    -fill '#1f4e8c' -stroke '#0b2547' -strokewidth 1 \
    -draw "rectangle $edge $(( edge + n / 8 )) $(( m - edge )) $(( m - edge ))" \
    -fill '#0b2547' -stroke none \
    -draw "rectangle $edge $edge $(( m - edge )) $(( edge + n / 8 ))" \
    -fill white \
    -draw "rectangle $(( edge + n / 8 )) $(( mid - bar / 2 )) $(( m - edge - n / 8 )) $(( mid + (bar + 1) / 2 ))" \
    -define png:exclude-chunks=date,time "$2"
}

for n in 16 32 48; do draw "$n" "$work/icon$n.png"; done
icotool -c -o "$out" \
  -b 4 "$work/icon16.png" -b 8 "$work/icon16.png" \
  -b 4 "$work/icon32.png" -b 8 "$work/icon32.png" \
  -b 8 "$work/icon48.png"
python3 "$here/scripts/trim-icon-palette.py" "$out"
icotool -l "$out"
