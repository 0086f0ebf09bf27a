#!/usr/bin/env bash
# A signed uninstaller, made as the README says: uninstpack build, then osslsigncode with a
# certificate made for this run. The signature must verify, uninstpack verify --strict must find
# the data clean (the stream ends where the certificate table begins), and a /S run under Wine
# must remove the uninstaller's record.
# Usage: signed_uninstaller.sh BUILD_DIR WINE_RUN
set -euo pipefail
build=$1 wine_run=$2
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || { echo "signed_uninstaller: $tool is missing (scripts/install-deps installs it)" >&2; exit 1; }
done
# Inside the build folder, which the test machine sees at the same path.
work=$build/signed-uninstaller
rm -rf "$work"
mkdir -p "$work/inst"
trap 'rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -subj "/CN=uninst test signer" -days 2 2>/dev/null
{
  printf '{"messages": {'
  for n in $(seq 0 15); do printf '%s"%d": "text %d"' "$([ "$n" = 0 ] || echo ', ')" "$n" "$n"; done
  printf '}, "files": [{"directory": ".", "fileName": "ours.txt"}]}\n'
} >"$work/manifest.json"
printf 'x' >"$work/inst/ours.txt"
printf 'x' >"$work/inst/other.txt"

"$wine_run" "$build/bin/uninstpack.exe" build "$work/manifest.json" --stub "$build/bin/uninst.exe" \
  -o "$work/unsigned.exe"
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "uninst test" \
  -in "$work/unsigned.exe" -out "$work/inst/uninst.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/inst/uninst.exe" >"$work/verify.txt" ||
  { cat "$work/verify.txt"; echo "signed_uninstaller: osslsigncode verify failed" >&2; exit 1; }
"$wine_run" "$build/bin/uninstpack.exe" verify --strict "$work/inst/uninst.exe"
"$wine_run" "$build/bin/uninstpack.exe" inspect "$work/inst/uninst.exe" | grep '^signature: certificate table'

"$wine_run" "$work/inst/uninst.exe" /S
if [ -e "$work/inst/ours.txt" ] || [ ! -e "$work/inst/other.txt" ]; then
  echo "signed_uninstaller: the /S run did not remove exactly its record" >&2
  exit 1
fi
echo "signed_uninstaller: signed, verified, and removed its record"
