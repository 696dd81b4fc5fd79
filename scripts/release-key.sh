#!/usr/bin/env bash
# Makes a new release key pair: the private half goes to PRIVATE.pem, outside the
# repository, for scripts/make-upgrade-info.sh; the public half to
# upgrade/keys/release-public.der, which every build carries to check update-information
# files. Builds made before it refuse information files signed with the new key.
#   scripts/release-key.sh PRIVATE.pem
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 PRIVATE.pem" >&2; exit 2; }
case $(realpath -m "$1") in "$root"/*) echo "$0: the private key must not live in the repository" >&2; exit 1 ;; esac
[ ! -e "$1" ] || { echo "$0: $1 exists; not overwritten" >&2; exit 1; }
(umask 077 && openssl genrsa -out "$1" 3072 2>/dev/null)
openssl rsa -in "$1" -pubout -outform DER -out "$root/upgrade/keys/release-public.der" 2>/dev/null
echo "public key written to upgrade/keys/release-public.der; keep $1 safe"
