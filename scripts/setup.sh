#!/usr/bin/env bash
# Makes a Debian 12 machine (as root) ready to build and test Pelorin.
# Idempotent: a second run with everything present only checks and prints one line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
quiet() { "$@" >/dev/null 2>&1; }

packages=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils clang-14
  libclang-rt-14-dev cmake ninja-build googletest libgtest-dev libbenchmark-dev
  libexpat1-dev libxml2-dev libpugixml-dev dpkg-dev python3 fonts-wine nginx-light squid
  dante-server)
# htpasswd makes the password file of the squid that asks for Basic proxy credentials.
packages+=(apache2-utils)
# MD4 and DES for the fixture server that checks NTLM responses.
packages+=(openssl)
# makensis builds the Windows installers.
packages+=(nsis)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  # wine32 comes from the i386 architecture; it installs even where the kernel cannot run it.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # nginx and squid are started by the tests themselves, on 127.0.0.1 only: their packages'
  # own services must not start listening on every address during the install.
  policy=/usr/sbin/policy-rc.d
  made_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod +x "$policy" && made_policy=1
  fi
  status=0
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || status=$?
  if [ "$made_policy" = 1 ]; then rm -f "$policy"; fi
  [ "$status" = 0 ] || exit "$status"
fi

# MinGW's g++ defaults to the win32 thread model, which lacks std::mutex in GCC 12.
for arch in i686 x86_64; do
  for tool in gcc g++; do
    if [ "$(readlink -f /usr/bin/$arch-w64-mingw32-$tool)" != "$(readlink -f /usr/bin/$arch-w64-mingw32-$tool-posix)" ]; then
      quiet update-alternatives --set $arch-w64-mingw32-$tool /usr/bin/$arch-w64-mingw32-$tool-posix || true
    fi
  done
done

# libjpeg for MinGW has no Debian binary: its source package is fetched once for both builds.
jpeg_source() {
  local src=$deps/jpeg-src
  [ -d "$src/tree" ] && return 0
  if ! grep -rqs '^Types: deb deb-src\|^Types: deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    cat > /etc/apt/sources.list.d/pelorin-src.sources <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    apt-get update -qq
  fi
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && apt-get source -qq --download-only libjpeg-turbo >/dev/null 2>&1)
  local orig
  orig=$(ls "$src"/libjpeg-turbo_*.orig.tar.* | head -n 1)
  mkdir -p "$src/tree.part" && tar -xf "$orig" -C "$src/tree.part" --strip-components=1
  mv "$src/tree.part" "$src/tree"
}

mkdir -p "$deps"
for arch in i686 x86_64; do
  toolchain=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw.cmake" -DPELORIN_MINGW_ARCH=$arch)
  out="$deps/$arch"

  # GoogleTest for MinGW, from Debian's sources.
  if [ ! -f "$out/gtest-mingw/lib/libgtest.a" ]; then
    echo "setup: building GoogleTest for MinGW $arch"
    rm -rf "$deps/gtest-build"
    cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/gtest-mingw" -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$deps/gtest-build" >/dev/null
    cmake --install "$deps/gtest-build" >/dev/null
    rm -rf "$deps/gtest-build"
  fi

  if [ ! -f "$out/jpeg-mingw/lib/libjpeg.a" ]; then
    echo "setup: building libjpeg-turbo for MinGW $arch"
    jpeg_source
    src="$deps/jpeg-src"
    rm -rf "$src/build"
    cmake -S "$src/tree" -B "$src/build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$out/jpeg-mingw" -DENABLE_SHARED=OFF \
      -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DREQUIRE_SIMD=OFF -Wno-dev >/dev/null
    cmake --build "$src/build" --target jpeg-static >/dev/null
    mkdir -p "$out/jpeg-mingw/lib" "$out/jpeg-mingw/include"
    cp "$src/build/jconfig.h" "$src/tree/jpeglib.h" "$src/tree/jmorecfg.h" "$src/tree/jerror.h" "$out/jpeg-mingw/include/"
    # The library last: its presence is what tells a later run that this step is done.
    cp "$src/build/libjpeg.a" "$out/jpeg-mingw/lib/"
    rm -rf "$src/build"
  fi
done
rm -rf "$deps/jpeg-src"
echo "setup: ready"
