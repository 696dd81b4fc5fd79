#!/usr/bin/env bash
# Fills a release folder from the win32 and win64 builds; it never publishes anything.
#   scripts/release.sh [--no-build] [--key PRIVATE.pem [--message TEXT] [--site URL]]
#                      [--build-root DIR] [--out DIR]
# It brings both builds' Pelorin.exe and installer up to date (cmake --build; --no-build
# packs what is there), then writes into OUT (default dist/):
#   PelorinSetup-x86.exe, PelorinSetup-x64.exe     the installers
#   Pelorin-<version>-x86.zip, -x64.zip            the portable builds (exe + categories.ini)
#   SHA256SUMS                                     the digests of all of them
# and with --key, for each architecture the signed update information pelorin_upgrade.inf with
# the file it lists, pelorin.exe: the 32-bit build's at the top of OUT, to be published at
# SITE/pelorin.exe, the 64-bit build's in OUT/x64/, for SITE/x64/pelorin.exe (each build asks
# its own folder, so an update keeps the architecture it finds).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=1 key='' message='' site=http://download.varnoth.net/downloads
build_root=$root/build out=$root/dist
die() {
  echo "release.sh: $*" >&2
  exit 1
}
while [ $# -gt 0 ]; do
  case $1 in
    --no-build) build=0; shift ;;
    --key | --message | --site | --build-root | --out)
      [ $# -ge 2 ] || die "$1 needs a value"
      case $1 in
        --key) key=$2 ;;
        --message) message=$2 ;;
        --site) site=${2%/} ;;
        --build-root) build_root=$2 ;;
        --out) out=$2 ;;
      esac
      shift 2 ;;
    *) die "unknown argument $1 (see the top of $0)" ;;
  esac
done

# The one version: project() in the top CMakeLists.txt, which every build carries.
version=$(sed -n 's/^project(Pelorin VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
[ -n "$version" ] || die "no project(Pelorin VERSION ...) line in $root/CMakeLists.txt"
if [ -n "$key" ]; then
  [ -r "$key" ] || die "cannot read the key file $key"
  command -v openssl >/dev/null || die "openssl is missing (scripts/setup.sh installs it)"
fi

declare -A arch_of=([win32]=x86 [win64]=x64)
if [ $build = 1 ]; then
  command -v makensis >/dev/null || die "makensis is missing: install the Debian package nsis (scripts/setup.sh does)"
  for p in win32 win64; do
    if [ ! -f "$build_root/$p/CMakeCache.txt" ]; then
      # The presets configure into build/ only.
      [ "$build_root" = "$root/build" ] || die "no $p build in $build_root"
      (cd "$root" && cmake --preset "$p" >/dev/null) || die "cmake --preset $p failed"
    fi
    cmake --build "$build_root/$p" --target Pelorin installer || die "building $p failed"
  done
fi

for p in win32 win64; do
  b=$build_root/$p
  [ -f "$b/CMakeCache.txt" ] || die "no $p build in $b (run without --no-build, or cmake --preset $p)"
  built=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$b/CMakeCache.txt")
  [ "$built" = "$version" ] || die "$b is configured for version '$built', the source says $version: build it again"
  for f in app/Pelorin.exe app/categories.ini "installer/PelorinSetup-${arch_of[$p]}.exe"; do
    [ -s "$b/$f" ] || die "$b/$f is missing: build the $p preset's Pelorin and installer targets"
  done
done

# zip_files ZIP FILE...: the files at the archive's top, with zip or else Python's zipfile.
zip_files() {
  local zip=$1
  shift
  if command -v zip >/dev/null; then
    zip -q -j -X "$zip" "$@"
  else
    python3 -c 'import sys, os, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as z:
    for f in sys.argv[2:]: z.write(f, os.path.basename(f))' "$zip" "$@"
  fi
}

mkdir -p "$out"
# Only what this script writes goes: the folder may be one the user keeps other things in.
rm -f "$out"/PelorinSetup-*.exe "$out"/Pelorin-*.zip "$out/SHA256SUMS"
rm -f "$out/pelorin_upgrade.inf" "$out/pelorin.exe" "$out/x64/pelorin_upgrade.inf" "$out/x64/pelorin.exe"
files=()
for p in win32 win64; do
  a=${arch_of[$p]}
  cp "$build_root/$p/installer/PelorinSetup-$a.exe" "$out/"
  zip_files "$out/Pelorin-$version-$a.zip" "$build_root/$p/app/Pelorin.exe" "$build_root/$p/app/categories.ini"
  files+=("PelorinSetup-$a.exe" "Pelorin-$version-$a.zip")
done
if [ -n "$key" ]; then
  declare -A folder_of=([win32]='' [win64]=x64/)
  for p in win32 win64; do
    f=${folder_of[$p]}
    mkdir -p "$out/$f"
    cp "$build_root/$p/app/Pelorin.exe" "$out/${f}pelorin.exe"
    args=(--key "$key" --version "$version" --file "$site/${f}pelorin.exe=$out/${f}pelorin.exe"
      --out "$out/${f}pelorin_upgrade.inf")
    [ -z "$message" ] || args+=(--message "$message")
    bash "$root/scripts/make-upgrade-info.sh" "${args[@]}" || die "the $p update information could not be made"
    files+=("${f}pelorin.exe" "${f}pelorin_upgrade.inf")
  done
fi
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS)
echo "release $version in $out:"
(cd "$out" && ls -l "${files[@]}" SHA256SUMS)
