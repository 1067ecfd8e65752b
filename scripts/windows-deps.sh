#!/usr/bin/env bash
# Prepares the Windows cross build on Debian 12:
#  1. installs the MinGW-w64 compilers (posix threads), windres, nasm, Wine
#     and Xvfb, only those that are missing;
#  2. builds GoogleTest, libpng, libjpeg-turbo (with SIMD), libwebp and
#     libdeflate as static MinGW libraries into build/mingw-deps, skipping
#     each one that is already there. The codec sources are Debian's source
#     packages.
# zlib is Debian's libz-mingw-w64-dev in /usr/x86_64-w64-mingw32.
# Safe to run again; a second run does nothing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
prefix="$root/build/mingw-deps"
work="$root/build/mingw-deps-src"
toolchain="$root/cmake/mingw-w64-x86_64.cmake"
sysroot=/usr/x86_64-w64-mingw32
jobs=2

log() { echo "windows-deps: $*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

is_installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

apt_updated=0
apt_update() {
  [ $apt_updated -eq 1 ] && return
  as_root apt-get update -qq
  apt_updated=1
}

install_packages() {
  local missing=() p
  for p in "$@"; do is_installed "$p" || missing+=("$p"); done
  [ ${#missing[@]} -eq 0 ] && return
  log "installing ${missing[*]}"
  apt_update
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# apt-get source needs deb-src entries; add Debian's own when none exist,
# with the mirror and keyring of the machine's deb entries.
ensure_deb_src() {
  apt-cache showsrc "$1" 2>/dev/null | grep -q '^Package:' && return
  if grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    apt_updated=0
    apt_update
    return
  fi
  local uri="http://deb.debian.org/debian" keyring="/usr/share/keyrings/debian-archive-keyring.gpg"
  local conf=/etc/apt/sources.list.d/debian.sources
  if [ -f "$conf" ]; then
    uri=$(awk '/^URIs:/ && $2 !~ /security/ { print $2; exit }' "$conf")
    keyring=$(awk '/^Signed-By:/ { print $2; exit }' "$conf")
  fi
  log "adding deb-src entries for bookworm ($uri)"
  as_root tee /etc/apt/sources.list.d/debian-src.sources >/dev/null <<EOF
Types: deb-src
URIs: ${uri:-http://deb.debian.org/debian}
Suites: bookworm bookworm-updates
Components: main
Signed-By: ${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}
EOF
  apt_updated=0
  apt_update
}

# Unpacks Debian's source package $1 into $work/src-$1 (once) and sets
# $src_dir to that folder. The Debian revision is applied when it unpacks
# cleanly; otherwise the upstream .orig tarball alone is used.
fetch_source() {
  local package=$1
  local dir="$work/src-$package" download="$work/download-$package"
  if [ ! -d "$dir" ]; then
    ensure_deb_src "$package"
    rm -rf "$dir" "$download" "$dir.tmp"
    mkdir -p "$download"
    (cd "$download" && apt-get source -qq --download-only "$package") >"$download.log" 2>&1 ||
      { echo "windows-deps: apt-get source $package failed; see $download.log" >&2; exit 1; }
    local dsc
    dsc=$(find "$download" -maxdepth 1 -name '*.dsc' | head -n1)
    if ! { [ -n "$dsc" ] && dpkg-source -q -x "$dsc" "$dir.tmp" >>"$download.log" 2>&1; }; then
      rm -rf "$dir.tmp"
      mkdir -p "$dir.tmp"
      tar -xf "$(find "$download" -maxdepth 1 -name '*.orig.tar.*' ! -name '*.asc' | head -n1)" \
        -C "$dir.tmp" --strip-components=1
    fi
    mv "$dir.tmp" "$dir"
    rm -rf "$download" "$download.log"
    find "$work" -maxdepth 1 -name '*.orig.tar.*' -delete
  fi
  src_dir=$dir
}

# Configures, builds and installs a CMake project into $prefix.
cmake_install() {
  local name=$1 source=$2
  shift 2
  local build="$work/build-$name"
  log "building $name"
  rm -rf "$build"
  cmake -S "$source" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQV_MINGW_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF -Wno-dev "$@" >"$build.log" 2>&1 &&
    cmake --build "$build" -j"$jobs" >>"$build.log" 2>&1 &&
    cmake --install "$build" >>"$build.log" 2>&1 ||
    { echo "windows-deps: building $name failed; see $build.log" >&2; tail -n 30 "$build.log" >&2; exit 1; }
  rm -rf "$build"
}

install_packages cmake make pkg-config dpkg-dev xz-utils \
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools \
  libz-mingw-w64-dev nasm wine wine64 xvfb xdotool python3 fonts-ipafont-gothic
[ -d /usr/src/googletest ] || install_packages googletest

start=$SECONDS
mkdir -p "$prefix" "$work"

if [ ! -f "$prefix/lib/libgtest.a" ]; then
  cmake_install googletest /usr/src/googletest \
    -Dgtest_disable_pthreads=ON -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
fi

zlib=(-DZLIB_INCLUDE_DIR="$sysroot/include" -DZLIB_LIBRARY="$sysroot/lib/libz.a")

if [ ! -f "$prefix/lib/libpng16.a" ]; then
  fetch_source libpng1.6
  cmake_install libpng "$src_dir" "${zlib[@]}" \
    -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
    -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON
fi

if [ ! -f "$prefix/lib/libjpeg.a" ]; then
  fetch_source libjpeg-turbo
  cmake_install libjpeg-turbo "$src_dir" \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF -DCMAKE_ASM_NASM_COMPILER=nasm \
    -DCMAKE_INSTALL_DEFAULT_LIBDIR=lib
fi

if [ ! -f "$prefix/lib/libwebp.a" ]; then
  fetch_source libwebp
  cmake_install libwebp "$src_dir" \
    -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
    -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
    -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
    -DWEBP_BUILD_LIBWEBPMUX=ON
fi

if [ ! -f "$prefix/lib/libdeflate.a" ]; then
  # Debian's version builds with a plain Makefile; for MinGW it names the
  # static library libdeflatestatic.lib.
  fetch_source libdeflate
  log "building libdeflate"
  make -C "$src_dir" -j"$jobs" CC=x86_64-w64-mingw32-gcc AR=x86_64-w64-mingw32-ar \
    libdeflatestatic.lib >"$work/build-libdeflate.log" 2>&1 ||
    { echo "windows-deps: building libdeflate failed; see $work/build-libdeflate.log" >&2; exit 1; }
  mkdir -p "$prefix/include" "$prefix/lib"
  cp "$src_dir/libdeflate.h" "$prefix/include/"
  cp "$src_dir/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
fi

[ $((SECONDS - start)) -gt 1 ] && log "dependencies ready in $prefix ($((SECONDS - start)) s)"
exit 0
