#!/usr/bin/env bash
# Cross-builds the encoder libraries of the Windows DLL as static libraries for MinGW-w64
# (ARCH i686, the default, or x86_64):
# libpng (with the MinGW zlib of the libz-mingw-w64-dev package), libjpeg-turbo and libtiff, from
# Debian's source packages (Debian's patches applied), installed into PREFIX.
#
#   cmake/deps-mingw.sh PREFIX [ARCH]
#
# The work is cached: when PREFIX holds a build made from the same recipe, nothing is done.
set -euo pipefail

PREFIX=${1:?usage: deps-mingw.sh PREFIX [ARCH]}
ARCH=${2:-i686}
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLCHAIN=$HERE/mingw.cmake
SELF=$HERE/$(basename "$0")

# Pinned to the main-suite revisions whose source packages are served.
SOURCES=(libpng1.6=1.6.39-2+deb12u5 libjpeg-turbo=1:2.1.5-2 tiff=4.5.0-6+deb12u4)

stamp_text() {
  printf '%s\n' "${SOURCES[@]}" "$ARCH"
  sha256sum "$SELF" "$TOOLCHAIN" | cut -d' ' -f1
}

mkdir -p "$PREFIX"
PREFIX=$(cd "$PREFIX" && pwd)
STAMP=$PREFIX/.recipe
if [ -f "$STAMP" ] && [ "$(cat "$STAMP")" = "$(stamp_text)" ]; then
  exit 0
fi

WORK=$PREFIX.work
rm -rf "$WORK" "$PREFIX"
mkdir -p "$WORK" "$PREFIX"
echo "== cross-building the encoder libraries into $PREFIX"

# apt-get source needs a deb-src entry for the suites the pins come from.
have_sources() {
  apt-get source --print-uris "${SOURCES[0]}" >/dev/null 2>&1
}
if ! have_sources; then
  list=${LUMORA_DEB_SRC_LIST:-/etc/apt/sources.list.d/lumora-deb-src.sources}
  if [ ! -f "$list" ]; then
    cat > "$list" <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  fi
  # A suite whose index cannot be read (a mirror in the middle of a sync) leaves the others
  # usable: the source lists come from the main suites.
  if ! apt-get update -qq >"$WORK/apt-update.log" 2>&1; then
    echo "deps-mingw: apt-get update failed for some package index ($(grep -m1 '^E:' "$WORK/apt-update.log")); going on with the lists that were read"
  fi
fi

cd "$WORK"
# apt-get source unpacks with dpkg-source -x, which applies Debian's patches.
if ! apt-get source -qq "${SOURCES[@]}" >"$WORK/apt-source.log" 2>&1; then
  echo "deps-mingw: could not fetch the source packages ${SOURCES[*]} (see $WORK/apt-source.log)." >&2
  echo "deps-mingw: they need a deb-src entry for bookworm and bookworm-updates and a readable source index: run 'apt-get update' once the mirror is consistent again, then run this again." >&2
  exit 1
fi

JOBS=$(nproc)
build() {
  local name=$1; shift
  local src
  src=$(find "$WORK" -maxdepth 1 -mindepth 1 -type d -name "$name-*" | head -1)
  [ -n "$src" ] || { echo "deps-mingw: no source tree for $name" >&2; exit 1; }
  cmake -S "$src" -B "$WORK/build-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DLUMORA_WIN_ARCH="$ARCH" -DLUMORA_DEPS_PREFIX="$PREFIX" \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DCMAKE_PREFIX_PATH="$PREFIX" \
    -DCMAKE_POSITION_INDEPENDENT_CODE=OFF "$@" >"$WORK/$name.log" 2>&1 ||
    { cat "$WORK/$name.log" >&2; exit 1; }
  cmake --build "$WORK/build-$name" -j"$JOBS" >>"$WORK/$name.log" 2>&1 ||
    { tail -50 "$WORK/$name.log" >&2; exit 1; }
  cmake --install "$WORK/build-$name" >>"$WORK/$name.log" 2>&1 ||
    { tail -50 "$WORK/$name.log" >&2; exit 1; }
  echo "   $name done"
}

build libpng1.6 -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
  -DPNG_BUILD_ZLIB=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_EXECUTABLES=ON
build libjpeg-turbo -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON \
  -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
build tiff -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF \
  -Dtiff-docs=OFF -Dtiff-deprecated=OFF -Dcxx=OFF -Dzlib=ON -Dlibdeflate=OFF -Dpixarlog=OFF \
  -Djpeg=OFF -Dold-jpeg=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
  -Dccitt=OFF -Dpackbits=OFF -Dlzw=OFF -Dthunder=OFF -Dnext=OFF -Dlogluv=OFF -Dmdi=OFF

rm -rf "$WORK"
stamp_text > "$STAMP"
