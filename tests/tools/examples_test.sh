#!/bin/sh
# The examples built against the installed SDK, once with its CMake package and once with
# pkg-config, and run on an emulated camera.
#   examples_test.sh BUILD_DIR SOURCE_DIR
set -eu
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/sdk" >/dev/null

cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$work/sdk" >/dev/null
cmake --build "$work/cmake" >/dev/null

export PKG_CONFIG_PATH=$(dirname "$(find "$work/sdk" -name lumora-sdk.pc)")
for example in snapshot count_frames; do
  cc -o "$work/$example" "$source/examples/$example.c" $(pkg-config --cflags --libs lumora-sdk)
done

export LUMORA_CAMEMU=1 XDG_CONFIG_HOME="$work/config" LD_LIBRARY_PATH=$(dirname "$(find "$work/sdk" -name "libLumoraSdk_USB3_K37VQ.so.1")")
cd "$work"
for dir in cmake .; do
  "$dir/snapshot" "$work/shot.png"
  test "$(head -c 8 shot.png | od -An -tx1 | tr -d ' ')" = 89504e470d0a1a0a
  rm shot.png
  "$dir/count_frames" 1
done
echo "examples: built with CMake and pkg-config, both ran"
