#!/usr/bin/env bash
# The Windows tests from a Linux build, when what only Windows builds (the win32/ folders) is
# in a state that has not passed them here before: both presets, x86-64 under wine64 and i686
# under wine, built and their tests run, less the install checks. STAMP_FILE
# lists the states that passed, so that going back to one runs nothing. Skipped (77) without
# the two MinGW-w64 compilers and the two wine loaders. NATIVE_AGENT is the Linux build's
# example agent, which the Windows agents exchange with.
#   windows-suite.sh SOURCE_DIR STAMP_FILE NATIVE_AGENT
set -euo pipefail
cd "$1"
for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix /usr/lib/wine/wine64 /usr/lib/wine/wine; do
    command -v "$tool" >/dev/null || exit 77
done
sum=$(find . -path ./build -prune -o -path '*/win32/*' -type f -print | sort | xargs sha256sum | sha256sum)
if grep -qxF "$sum" "$2" 2>/dev/null; then
    echo "the Windows-only sources are as they were when these tests passed"
    exit 0
fi
for preset in windows windows-i686; do
    cmake --preset "$preset" -DKELPORT_NATIVE_AGENT="$3" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -E Install
done
echo "$sum" >>"$2"
