#!/usr/bin/env bash
# The package step of ./dev and of the MinGW recipe against stand-ins for apt-get, dpkg and
# dpkg-query: a package index that fails to update, optional and required packages that cannot be
# installed. The machine's real package state is never touched.
#   dev_packages_test.sh SOURCE_DIR
set -uo pipefail
SRC=$(cd "${1:?usage: dev_packages_test.sh SOURCE_DIR}" && pwd)
T=$(mktemp -d)
trap 'rm -rf "$T"' EXIT
mkdir -p "$T/bin" "$T/tree/cmake"
cp "$SRC/dev" "$T/tree/dev"
cp "$SRC/cmake/deps-mingw.sh" "$SRC/cmake/mingw.cmake" "$T/tree/cmake/"

# State of the stand-ins: FAKE_MISSING lists what dpkg-query reports as not installed until an
# install succeeds; FAKE_BROKEN what apt-get cannot install; calls are logged in $T/calls.
cat > "$T/bin/dpkg-query" <<'SH'
#!/bin/sh
pkg=$(eval echo \${$#})
for m in $FAKE_MISSING; do
  if [ "$m" = "$pkg" ] && ! grep -qx "$pkg" "$FAKE_STATE/installed" 2>/dev/null; then exit 1; fi
done
printf 'install ok installed'
SH
cat > "$T/bin/dpkg" <<'SH'
#!/bin/sh
echo "dpkg $*" >> "$FAKE_STATE/calls"
SH
cat > "$T/bin/apt-get" <<'SH'
#!/bin/sh
echo "apt-get $*" >> "$FAKE_STATE/calls"
case "$1" in
  update)
    echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
    exit 100 ;;
  install)
    for a in "$@"; do
      for b in $FAKE_BROKEN; do [ "$a" = "$b" ] && { echo "E: $a has unmet dependencies" >&2; exit 100; }; done
    done
    for a in "$@"; do case "$a" in -*|install) ;; *) echo "$a" >> "$FAKE_STATE/installed" ;; esac; done ;;
  source)
    echo "E: Unable to find a source package" >&2; exit 100 ;;
esac
SH
chmod +x "$T/bin/"*

passed=0 failed=0
check() {  # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

# run COMMAND MISSING BROKEN: ./dev deps COMMAND; sets rc, out (both streams) and calls.
run() {
  export FAKE_STATE=$T/state FAKE_MISSING=$2 FAKE_BROKEN=$3
  rm -rf "$FAKE_STATE"; mkdir -p "$FAKE_STATE"; : > "$FAKE_STATE/calls"
  out=$(PATH="$T/bin:$PATH" bash "$T/tree/dev" deps "$1" 2>&1); rc=$?
  calls=$(cat "$FAKE_STATE/calls")
}
has() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! grep -qE -- "$2" <<<"$1"; }

# Nothing missing: no package tool is run at all.
run test "" ""
check "complete: exit 0" [ $rc -eq 0 ]
check "complete: no apt-get" [ -z "$calls" ]

# demo: a failing index is one line, the native package still installs; nothing of Windows.
run demo "libpng-dev" ""
check "demo: exit 0" [ $rc -eq 0 ]
check "demo: update failure reported" has "$out" "apt-get update failed for some package index (E: Failed to fetch"
check "demo: going on" has "$out" "going on with the lists that were read"
check "demo: installs libpng-dev" has "$calls" "apt-get install -y -qq libpng-dev"
check "demo: no i386, Wine or MinGW" lacks "$calls" "i386|wine|mingw"

# bench: the native packages plus the benchmark libraries, not the test list.
run bench "libopencv-dev libbenchmark-dev ffmpeg" ""
check "bench: exit 0" [ $rc -eq 0 ]
check "bench: installs the benchmark libraries" has "$calls" "apt-get install -y -qq libbenchmark-dev libopencv-dev"
check "bench: nothing of the tests" lacks "$calls" "ffmpeg|wine|i386"

# package: the MinGW cross build and LLVM's dlltool, nothing of Wine or the tests.
run package "llvm wine64 ffmpeg" ""
check "package: exit 0" [ $rc -eq 0 ]
check "package: installs llvm" has "$calls" "apt-get install -y -qq llvm"
check "package: nothing of Wine or the tests" lacks "$calls" "wine|ffmpeg|i386"

# test: 32-bit Wine that cannot be installed is reported once and the step succeeds.
run test "ffmpeg wine32:i386" "wine32:i386"
check "test: exit 0" [ $rc -eq 0 ]
check "test: i386 architecture added" has "$calls" "dpkg --add-architecture i386"
check "test: required installed" has "$calls" "apt-get install -y -qq ffmpeg"
check "test: optional reported" has "$out" "optional package wine32:i386 could not be installed: going on without it"
check "test: one line about it" [ "$(grep -c wine32 <<<"$out")" -eq 2 ]

# test: GStreamer that cannot be installed (a broken index) is one line and the step succeeds.
run test "libgstreamer1.0-dev gstreamer1.0-tools ffmpeg" "libgstreamer1.0-dev gstreamer1.0-tools"
check "gst: exit 0" [ $rc -eq 0 ]
check "gst: required installed" has "$calls" "apt-get install -y -qq ffmpeg"
check "gst: optional reported" has "$out" "optional packages libgstreamer1.0-dev gstreamer1.0-tools could not be installed: going on without them"
check "gst: one line about it" [ "$(grep -c 'could not be installed' <<<"$out")" -eq 1 ]

# gst: the plugin's stage installs no Wine and no MinGW.
run gst "libgtest-dev gstreamer1.0-plugins-good" ""
check "gst stage: exit 0" [ $rc -eq 0 ]
check "gst stage: installs the plugins" has "$calls" "apt-get install -y -qq gstreamer1.0-plugins-good"
check "gst stage: nothing of Windows" lacks "$calls" "wine|mingw|i386"

# A required package that cannot be installed ends the step, naming it and what to do.
run demo "libpng-dev zlib1g-dev" "zlib1g-dev"
check "broken: exit 1" [ $rc -eq 1 ]
check "broken: names the package" has "$out" "error: could not install zlib1g-dev ("
check "broken: says what to do" has "$out" "install zlib1g-dev by hand, then run ./dev demo again"
check "broken: the other one installed" has "$calls" "apt-get install -y -qq libpng-dev"

# The MinGW recipe: a failing update is reported and the source step names what it could not get.
export FAKE_STATE=$T/state FAKE_MISSING="" FAKE_BROKEN=""
: > "$FAKE_STATE/calls"
out=$(PATH="$T/bin:$PATH" LUMORA_DEB_SRC_LIST="$T/deb-src.sources" \
  bash "$T/tree/cmake/deps-mingw.sh" "$T/prefix" i686 2>&1); rc=$?
check "mingw: exit 1" [ $rc -eq 1 ]
check "mingw: update failure reported" has "$out" "deps-mingw: apt-get update failed for some package index"
check "mingw: names the source packages" has "$out" "could not fetch the source packages libpng1.6="
check "mingw: deb-src entry written where told" [ -f "$T/deb-src.sources" ]

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
