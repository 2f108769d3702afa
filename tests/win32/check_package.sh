#!/usr/bin/env bash
# check_package.sh ZIP SOURCE_DIR: the Windows SDK package holds exactly its files; per processor
# DLL and tool are built for it, the DLL exports the listed names, the tool imports only it and
# system DLLs; both import libraries define the same import of every export, by its undecorated
# name; the examples build warning-free against the package alone and import only listed names.
set -euo pipefail
zip=$(realpath "$1") src=$(cd "$2" && pwd)
names=$src/tests/api/export_names.txt check_exports=$src/tests/api/check_exports.sh
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
# What the DLL exports: the 119 and the LumoraEx_ extensions, and so what its import libraries name.
exports=$t/exports.txt
cat "$names" "$src/tests/api/extension_names.txt" > "$exports"
fail() { echo "package: $*"; exit 1; }

expected=$(printf '%s\n' README.md examples/count_frames.c examples/snapshot.c include/lumora/LumoraSdk.h \
  {x86,x64}/{LumoraSdk_USB3_K37VQ.dll,LumoraSdk_USB3_K37VQ.dll.a,LumoraSdk_USB3_K37VQ.lib,lumora.exe} | sort)
actual=$(cmake -E tar tf "$zip" | grep -v '/$' | sort)
[ "$actual" = "$expected" ] || fail "not the layout:"$'\n'"$(diff <(echo "$expected") <(echo "$actual"))"
(cd "$t" && cmake -E tar xf "$zip")

for arch in x86:i686:pei-i386:i386:undecorate x64:x86_64:pei-x86-64:x86_64:name; do
  IFS=: read -r folder triple format machine name_type <<<"$arch"
  dir=$t/$folder tool=$triple-w64-mingw32
  for file in "$dir"/*.dll "$dir"/*.exe; do
    "$tool-objdump" -f "$file" | grep -q "file format $format" || fail "$folder/${file##*/} is not $format"
  done
  "$check_exports" "$tool-objdump" "$dir/LumoraSdk_USB3_K37VQ.dll" "$names" >/dev/null || fail "$folder: DLL exports"
  "$check_exports" "$tool-objdump" "$dir/lumora.exe" >/dev/null || fail "$folder: lumora.exe imports"

  # __imp__Lumora_Name@8 (i686) or __imp_Lumora_Name (x86_64) for each export.
  mingw=$("$tool-nm" --defined-only "$dir/LumoraSdk_USB3_K37VQ.dll.a" | awk '$3 ~ /^__imp_/ {print $3}' | sort)
  ms=$(llvm-readobj "$dir/LumoraSdk_USB3_K37VQ.lib")
  [ "$(sed 's/^__imp__*//; s/@[0-9]*$//' <<<"$mingw" | sort)" = "$(sort "$exports")" ] || fail "$folder: .dll.a symbols"
  [ "$(sed -n 's/^Symbol: \(__imp_.*\)$/\1/p' <<<"$ms" | sort)" = "$mingw" ] || fail "$folder: .lib symbols"
  [ "$(sed -n 's/^Name type: //p' <<<"$ms" | sort -u)" = "$name_type" ] || fail "$folder: .lib name types"
  [ "$(sed -n 's/^Arch: //p' <<<"$ms" | sort -u)" = "$machine" ] || fail "$folder: .lib machine"

  for example in "$t"/examples/*.c; do
    exe=$t/$folder-$(basename "$example" .c).exe
    "$tool-gcc" -Wall -Wextra -Werror -I "$t/include" "$example" -L "$dir" -lLumoraSdk_USB3_K37VQ -o "$exe" ||
      fail "$folder: ${example##*/} does not build against the package"
    imported=$("$tool-objdump" -p "$exe" | awk '/DLL Name:/ {dll = $3; next} /^$/ {dll = ""}
      dll == "LumoraSdk_USB3_K37VQ.dll" && NF == 3 && $1 ~ /^[0-9a-f]+$/ {print $3}' | sort)
    [ -n "$imported" ] && [ -z "$(comm -23 - <(sort "$names") <<<"$imported")" ] ||
      fail "$folder: ${example##*/} imports unlisted names: $(echo $imported)"
  done
done
echo "package: $(wc -l <<<"$actual") files; x86 and x64: $(wc -l <"$exports") exports in the DLL, the .dll.a and the .lib; the examples build against it"
