#!/usr/bin/env bash
# Makes a Debian 12 machine (as root) ready to build and test Pelorin.
# Idempotent: a second run with everything present only checks and prints one line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
quiet() { "$@" >/dev/null 2>&1; }

packages=(g++-mingw-w64-i686 wine wine32:i386 xvfb xdotool imagemagick x11-utils clang-14
  libclang-rt-14-dev cmake ninja-build googletest libgtest-dev libbenchmark-dev
  libexpat1-dev libxml2-dev libpugixml-dev dpkg-dev python3 fonts-wine)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# MinGW's g++ defaults to the win32 thread model, which lacks std::mutex in GCC 12.
if [ "$(readlink -f /usr/bin/i686-w64-mingw32-g++)" != "$(readlink -f /usr/bin/i686-w64-mingw32-g++-posix)" ]; then
  quiet update-alternatives --set i686-w64-mingw32-g++ /usr/bin/i686-w64-mingw32-g++-posix || true
  quiet update-alternatives --set i686-w64-mingw32-gcc /usr/bin/i686-w64-mingw32-gcc-posix || true
fi

mkdir -p "$deps"
toolchain="$root/cmake/mingw-i686.cmake"

# GoogleTest for MinGW, from Debian's sources.
if [ ! -f "$deps/gtest-mingw/lib/libgtest.a" ]; then
  echo "setup: building GoogleTest for MinGW"
  rm -rf "$deps/gtest-build"
  cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/gtest-mingw" -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$deps/gtest-build" >/dev/null
  cmake --install "$deps/gtest-build" >/dev/null
  rm -rf "$deps/gtest-build"
fi

# libjpeg for MinGW: Debian ships no binary, so cross-build its source package once.
if [ ! -f "$deps/jpeg-mingw/lib/libjpeg.a" ]; then
  echo "setup: building libjpeg-turbo for MinGW"
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
  src="$deps/jpeg-src"
  rm -rf "$src" && mkdir -p "$src"
  (cd "$src" && apt-get source -qq --download-only libjpeg-turbo >/dev/null 2>&1)
  orig=$(ls "$src"/libjpeg-turbo_*.orig.tar.* | head -n 1)
  mkdir -p "$src/tree" && tar -xf "$orig" -C "$src/tree" --strip-components=1
  cmake -S "$src/tree" -B "$src/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$deps/jpeg-mingw" -DENABLE_SHARED=OFF \
    -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=OFF -DREQUIRE_SIMD=OFF -Wno-dev >/dev/null
  cmake --build "$src/build" --target jpeg-static >/dev/null
  mkdir -p "$deps/jpeg-mingw/lib" "$deps/jpeg-mingw/include"
  cp "$src/build/libjpeg.a" "$deps/jpeg-mingw/lib/"
  cp "$src/build/jconfig.h" "$src/tree/jpeglib.h" "$src/tree/jmorecfg.h" "$src/tree/jerror.h" "$deps/jpeg-mingw/include/"
  rm -rf "$src"
fi
echo "setup: ready"
