#!/usr/bin/env bash
# Writes a signed update-information file: the text of INFO (any earlier signature line
# dropped, a line break added when the last line has none), then "#signature=" and the
# RSA SHA-256 signature of all of that text in hexadecimal. The program checks it with the
# public half of KEY before it reads a single key.
#   scripts/sign-upgrade-info.sh KEY.pem INFO [OUT]     (OUT defaults to standard output)
# KEY is a PEM RSA private key; the release key never lives in the repository.
set -euo pipefail
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: $0 KEY.pem INFO [OUT]" >&2
  exit 2
fi
key=$1 info=$2 out=${3:-/dev/stdout}
command -v openssl >/dev/null || { echo "$0: openssl is missing (scripts/setup.sh installs it)" >&2; exit 1; }
[ -r "$key" ] || { echo "$0: cannot read the key $key" >&2; exit 1; }
[ -r "$info" ] || { echo "$0: cannot read $info" >&2; exit 1; }
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
# Everything from a signature key on is the old signature; the program ignores the case of keys.
awk 'tolower($0) ~ /#signature=/ { exit } { print }' "$info" >"$tmp"
signature=$(openssl dgst -sha256 -sign "$key" "$tmp" | od -An -v -tx1 | tr -d ' \n')
[ -n "$signature" ] || { echo "$0: openssl made no signature" >&2; exit 1; }
{ cat "$tmp"; printf '#signature=%s\n' "$signature"; } >"$out"
