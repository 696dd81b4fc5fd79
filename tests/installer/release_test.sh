#!/usr/bin/env bash
# scripts/release.sh against stand-in build trees: what it refuses, and the folder it fills
# (installers, zips, digests, and the update information signed with the test key).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/pelorin-release.XXXXXX)
trap 'rm -rf "$work"' EXIT
version=$(sed -n 's/^project(Pelorin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
key=$root/tests/upgrade/keys/test-private.pem
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A build tree of preset $1 (arch $2) of version $3, its files holding distinct bytes.
fake_build() {
  local b=$work/build/$1
  mkdir -p "$b/app" "$b/installer"
  echo "CMAKE_PROJECT_VERSION:STATIC=$3" >"$b/CMakeCache.txt"
  echo "exe $1" >"$b/app/Pelorin.exe"
  echo "categories $1" >"$b/app/categories.ini"
  echo "setup $1" >"$b/installer/PelorinSetup-$2.exe"
}
release() { bash "$root/scripts/release.sh" --no-build --build-root "$work/build" --out "$work/dist" "$@" 2>&1; }

# Each refusal: how the trees are spoiled, the arguments, what the message says.
while IFS='|' read -r spoil args want; do
  rm -rf "$work/build"
  fake_build win32 x86 "$version"
  fake_build win64 x64 "$version"
  eval "$spoil"
  # shellcheck disable=SC2086 # the table's arguments are words
  if msg=$(release $args); then
    fail "release.sh $args succeeded after '$spoil'"
  elif [[ ! $msg =~ $want ]]; then
    fail "release.sh $args after '$spoil' said \"$msg\", expected /$want/"
  fi
done <<'TABLE'
rm -rf "$work/build/win64"||no win64 build
rm "$work/build/win32/installer/PelorinSetup-x86.exe"||PelorinSetup-x86.exe is missing
: >"$work/build/win64/app/Pelorin.exe"||Pelorin.exe is missing
echo CMAKE_PROJECT_VERSION:STATIC=0.9.0.0 >"$work/build/win32/CMakeCache.txt"||version '0.9.0.0'
:|--key /nonexistent.pem|cannot read the key file
:|--bogus|unknown argument
TABLE

echo "== a release folder, signed with the test key"
rm -rf "$work/build"
fake_build win32 x86 "$version"
fake_build win64 x64 "$version"
mkdir -p "$work/dist"
echo mine >"$work/dist/notes.txt"
echo stale >"$work/dist/Pelorin-0.0.0.1-x86.zip"
release --key "$key" --message "Fixes" >/dev/null || fail "release.sh failed"
d=$work/dist
want="notes.txt Pelorin-$version-x64.zip Pelorin-$version-x86.zip pelorin.exe PelorinSetup-x64.exe PelorinSetup-x86.exe pelorin_upgrade.inf SHA256SUMS x64/pelorin.exe x64/pelorin_upgrade.inf"
got=$(cd "$d" && find . -type f -printf '%P\n' | LC_ALL=C sort -f | tr '\n' ' ')
[ "$got" = "$want " ] || fail "dist holds: $got"
(cd "$d" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match the files"
[ "$(wc -l <"$d/SHA256SUMS")" = 8 ] || fail "SHA256SUMS lists $(wc -l <"$d/SHA256SUMS") files, not 8"
for a in x86:win32 x64:win64; do
  cmp -s "$d/PelorinSetup-${a%:*}.exe" "$work/build/${a#*:}/installer/PelorinSetup-${a%:*}.exe" ||
    fail "PelorinSetup-${a%:*}.exe is not the build's"
  mkdir -p "$work/unzip-${a%:*}"
  (cd "$work/unzip-${a%:*}" && python3 -m zipfile -e "$d/Pelorin-$version-${a%:*}.zip" .) || fail "the ${a%:*} zip does not open"
  for f in Pelorin.exe categories.ini; do
    cmp -s "$work/unzip-${a%:*}/$f" "$work/build/${a#*:}/app/$f" || fail "the ${a%:*} zip's $f is not the build's"
  done
done
# Each architecture's update: its own build, listed with its digest under its own folder.
for a in :win32 x64/:win64; do
  f=${a%:*} inf=$d/${a%:*}pelorin_upgrade.inf
  cmp -s "$d/${f}pelorin.exe" "$work/build/${a#*:}/app/Pelorin.exe" || fail "${f}pelorin.exe is not the ${a#*:} build"
  grep -q "^#version=$version" "$inf" || fail "$inf names no version $version"
  tr -d '\r' <"$inf" | grep -qx "#url1=http://download.varnoth.net/downloads/${f}pelorin.exe" || fail "$inf lists another address"
  grep -q "^#url1-sha256=$(sha256sum <"$d/${f}pelorin.exe" | cut -d' ' -f1)" "$inf" || fail "$inf lists another digest"
  sed -n 's/^#signature=//p' "$inf" | python3 -c 'import sys; sys.stdout.buffer.write(bytes.fromhex(sys.stdin.read().strip()))' >"$work/sig"
  sed '/^#signature=/,$d' "$inf" >"$work/signed"
  openssl dgst -sha256 -verify "$root/tests/upgrade/keys/test-public.pem" -signature "$work/sig" "$work/signed" >/dev/null ||
    fail "$inf's signature does not verify with the test key"
done

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "release.sh checks passed"
