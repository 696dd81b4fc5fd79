#!/usr/bin/env bash
# Writes a signed update-information file for a release:
#   scripts/make-upgrade-info.sh --key KEY.pem --version 1.2.0.0 [--message TEXT] [--method 0|1|2]
#       [--date MM/DD/YYYY] --file URL=LOCAL [--file URL=LOCAL ...] --out FILE
# Each --file names where users will download a file of the update and the local copy of it
# whose SHA-256 goes beside its url key. The files are numbered url1, url2, ...
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
key='' version='' message='' method=0 date='' out=''
files=()
die() { echo "$0: $*" >&2; exit 1; }
while [ $# -gt 0 ]; do
  case $1 in
    --key) key=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --message) message=$2; shift 2 ;;
    --method) method=$2; shift 2 ;;
    --date) date=$2; shift 2 ;;
    --file) files+=("$2"); shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) die "unknown argument $1" ;;
  esac
done
[ -n "$key" ] || die "--key is missing"
[ -n "$out" ] || die "--out is missing"
[ -n "$version" ] || [ -n "$date" ] || die "--version or --date is needed"
[ ${#files[@]} -gt 0 ] || die "no --file given"
case $method in 0|1|2) ;; *) die "--method must be 0, 1 or 2" ;; esac
case $message in *'}'*) die "the message cannot hold a '}'" ;; esac
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
{
  [ -z "$version" ] || printf '#version=%s\r\n' "$version"
  [ -z "$date" ] || printf '#date=%s\r\n' "$date"
  n=0
  for f in "${files[@]}"; do
    url=${f%%=*} local=${f#*=}
    [ "$url" != "$f" ] && [ -n "$url" ] || die "--file wants URL=LOCAL, got $f"
    [ -r "$local" ] || die "cannot read $local"
    n=$((n + 1))
    digest=$(openssl dgst -sha256 -r "$local" | cut -d' ' -f1)
    printf '#url%d=%s\r\n#url%d-sha256=%s\r\n' "$n" "$url" "$n" "$digest"
  done
  [ -z "$message" ] || printf '#message={%s}\r\n' "$message"
  printf '#method=%s\r\n' "$method"
} >"$tmp"
bash "$root/scripts/sign-upgrade-info.sh" "$key" "$tmp" "$out"
