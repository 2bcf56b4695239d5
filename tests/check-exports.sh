#!/usr/bin/env bash
# Compares the names that a built library exports with the names it should export, both
# ways: an ELF library's defined dynamic symbols (read with nm), or a DLL's export table
# (read with objdump).
#   check-exports.sh LIBRARY LIST SYSTEM NM OBJDUMP      SYSTEM: posix or win32
set -euo pipefail
library=$1
list=$2
system=$3
nm=$4
objdump=$5

expected=$(sed -e '/^#/d' -e '/^$/d' "$list" | while IFS= read -r line; do
    case "$line" in
    *" [$system]") printf '%s\n' "${line% \[*\]}" ;;
    *" ["*"]") ;;
    *) printf '%s\n' "$line" ;;
    esac
done | sort -u)

if [ "$system" = win32 ]; then
    exported=$("$objdump" -p "$library" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
               sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
else
    exported=$("$nm" -D --defined-only "$library" | awk '{ print $3 }')
fi
exported=$(printf '%s\n' "$exported" | c++filt | sort -u)

missing=$(comm -23 <(printf '%s\n' "$expected") <(printf '%s\n' "$exported"))
extra=$(comm -13 <(printf '%s\n' "$expected") <(printf '%s\n' "$exported"))
[ -z "$missing" ] || printf 'expected but not exported:\n%s\n' "$missing"
[ -z "$extra" ] || printf 'exported but not expected:\n%s\n' "$extra"
[ -z "$missing$extra" ] && echo "$(basename "$library") exports exactly its $(wc -l <<<"$expected") public names"
