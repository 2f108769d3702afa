#!/usr/bin/env bash
# bench/soak.sh MINUTES: two emulated cameras at their full rate for MINUTES (default 30), one in a
# callback preview, the other recording back to back; prints frames delivered and dropped (the
# preview's skipped frames by cause, from the stream statistics),
# resident memory and open descriptors as it goes, and at the start and the end. Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=$ROOT/build/soak
minutes=${1:-30}
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMORA_TESTS=OFF -DLUMORA_BENCH=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target lumora_soak
# The C library keeps freed thread stacks and large blocks for reuse (tens of MB in a run that
# starts a recording thread every few seconds). With those caches bounded, the resident memory
# shows what the SDK itself holds; LUMORA_SOAK_LIBC=default measures with the C library's own
# settings instead.
if [ "${LUMORA_SOAK_LIBC:-bounded}" != default ]; then
  export GLIBC_TUNABLES=glibc.pthread.stack_cache_size=0:glibc.malloc.mmap_threshold=131072:glibc.malloc.arena_max=2:glibc.malloc.trim_threshold=131072
fi
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
XDG_CONFIG_HOME=$folder DISPLAY= LUMORA_CAMEMU=2 "$BUILD/bench/lumora_soak" "$minutes" "$folder"
