#!/usr/bin/env bash
# Makes a new release key pair: the private half goes to PRIVATE.pem, outside the
# repository, for scripts/make-upgrade-info.sh; the public half is written into
# upgrade/ReleaseKey.cpp, which every build carries to check update-information files.
# Builds made before it refuse information files signed with the new key.
#   scripts/release-key.sh PRIVATE.pem
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 PRIVATE.pem" >&2; exit 2; }
case $(realpath -m "$1") in "$root"/*) echo "$0: the private key must not live in the repository" >&2; exit 1 ;; esac
[ ! -e "$1" ] || { echo "$0: $1 exists; not overwritten" >&2; exit 1; }
(umask 077 && openssl genrsa -out "$1" 3072 2>/dev/null)
hex=$(openssl rsa -in "$1" -pubout -outform DER 2>/dev/null | od -An -v -tx1 | tr -d ' \n' | sed 's/../\\x&/g' | fold -w 64 | sed 's/.*/        "&"/')
cat >"$root/upgrade/ReleaseKey.cpp" <<CPP
// Written by scripts/release-key.sh: the public half of the release key, as the DER
// SubjectPublicKeyInfo that openssl writes.
#include "upgrade/ReleaseKey.h"

const std::string& ReleasePublicKey() {
    static const std::string key(
$hex,
        $(openssl rsa -in "$1" -pubout -outform DER 2>/dev/null | wc -c));
    return key;
}
CPP
echo "public key written to upgrade/ReleaseKey.cpp; keep $1 safe"
