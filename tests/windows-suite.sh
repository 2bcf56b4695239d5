#!/usr/bin/env bash
# The Windows x86-64 tests from a Linux build, when what only Windows builds (the win32/
# folders) is in a state that has not passed them here before: the preset built and its
# tests run under wine64, less the slow soak and install checks. STAMP_FILE lists the states
# that passed, so that going back to one runs nothing. Skipped (77) without MinGW-w64 and wine64.
#   windows-suite.sh SOURCE_DIR STAMP_FILE
set -euo pipefail
cd "$1"
command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ] || exit 77
sum=$(find . -path ./build -prune -o -path '*/win32/*' -type f -print | sort | xargs sha256sum | sha256sum)
if grep -qxF "$sum" "$2" 2>/dev/null; then
    echo "the Windows-only sources are as they were when these tests passed"
    exit 0
fi
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows -E 'Soak|Install'
echo "$sum" >>"$2"
