#!/usr/bin/env bash
# check_exports.sh nm|OBJDUMP LIBRARY NAMES: the library's exported table equals NAMES exactly,
# together with the LumoraEx_ extension functions that extension_names.txt beside NAMES lists
# (each of them, and nothing else: a name there that is not a LumoraEx_ name fails the check).
# OBJDUMP is the MinGW objdump for a DLL, which may import system DLLs only.
# check_exports.sh OBJDUMP PROGRAM.exe: the program imports system DLLs and the SDK's DLL only.
set -euo pipefail
tool=$1 lib=$2 names=${3:-}
if [ "$tool" = nm ]; then
  actual=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWDBRVi]$/ {print $3}' | grep -v '^_\(init\|fini\)$' | sort)
else
  actual=$("$tool" -p "$lib" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] \(.*\)$/\1/p' | sort)
  imports=$("$tool" -p "$lib" | awk '/DLL Name:/ {print tolower($3)}')
  for dll in $imports; do
    case "$dll" in
      kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|winmm.dll|msvcrt.dll|comctl32.dll|shell32.dll|ole32.dll) ;;
      lumorasdk_usb3_k37vq.dll) [ -z "$names" ] || { echo "imports itself"; exit 1; } ;;
      *) echo "imports a non-system DLL: $dll"; exit 1 ;;
    esac
  done
  [ -n "$names" ] || { echo "imports: $(echo $imports)"; exit 0; }
fi
extensions=$(dirname "$names")/extension_names.txt
if [ -f "$extensions" ] && grep -qv '^LumoraEx_[A-Za-z0-9]*$' "$extensions"; then
  echo "not an extension name: $(grep -v '^LumoraEx_[A-Za-z0-9]*$' "$extensions" | head -1)"
  exit 1
fi
expected=$( (cat "$names"; [ -f "$extensions" ] && cat "$extensions") | sort)
if [ "$actual" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$actual") | sed 's/^</missing:/; s/^>/unexpected:/' | grep -E '^(missing|unexpected)'
  exit 1
fi
echo "export table: $(echo "$actual" | grep -c '^Lumora_') Lumora_ names and $(echo "$actual" | grep -c '^LumoraEx_') LumoraEx_ names, as listed"
