#!/usr/bin/env bash
# The Windows SDK package, one zip made from the 32-bit and the 64-bit Windows builds:
#   include/lumora/LumoraSdk.h   the header
#   x86/, x64/                   LumoraSdk_USB3_K37VQ.dll, its import libraries for MinGW (.dll.a)
#                                and for the Microsoft linker (.lib), the lumora tool
#   examples/                    the example programs' sources
#   README.md                    the README's section on Windows
#
#   make_sdk_zip.sh OUT.zip X86_BUILD X64_BUILD
set -euo pipefail
out=${1:?usage: make_sdk_zip.sh OUT.zip X86_BUILD X64_BUILD} x86=${2:?} x64=${3:?}
src=$(cd "$(dirname "$0")/../.." && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

mkdir -p "$stage/include/lumora" "$stage/examples"
cp "$src/include/lumora/LumoraSdk.h" "$stage/include/lumora/"
cp "$src"/examples/*.c "$stage/examples/"
for entry in "x86:i686:$x86" "x64:x86_64:$x64"; do
  IFS=: read -r folder triple build <<<"$entry"
  mkdir "$stage/$folder"
  cp "$build/bin/LumoraSdk_USB3_K37VQ.dll" "$build/bin/lumora.exe" \
    "$build/LumoraSdk_USB3_K37VQ.dll.a" "$build/LumoraSdk_USB3_K37VQ.lib" "$stage/$folder/"
  # Without the symbol table and the debugging sections of the static runtimes (40 % of the size).
  "$triple-w64-mingw32-strip" "$stage/$folder/LumoraSdk_USB3_K37VQ.dll" "$stage/$folder/lumora.exe"
done
# From the README's "## Windows" heading to its next heading of that level.
awk '/^## / { keep = /^## Windows/ } keep' "$src/README.md" > "$stage/README.md"
[ -s "$stage/README.md" ] || { echo "make_sdk_zip: README.md has no Windows section" >&2; exit 1; }

out=$(realpath -m "$out")
mkdir -p "$(dirname "$out")"
rm -f "$out"
(cd "$stage" && cmake -E tar cf "$out" --format=zip README.md include examples x86 x64)
