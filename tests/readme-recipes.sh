#!/usr/bin/env bash
# Runs the README's recipes for a program that uses the library, exactly as the README writes
# them, in a fresh folder: builds and installs a build folder with the README's install
# recipe, its build step included (or takes a tree installed some other way), compiles each
# installed header on its own, writes app/app.cpp and app/CMakeLists.txt from the README,
# builds and runs the program with CMake and with pkg-config, traces it into a file, and builds
# and runs the example agent. An unpacked Windows zip gets the Windows recipes instead: the
# program and the agent built with MinGW-w64, the program run under wine, in a wine prefix of
# its own.
#   readme-recipes.sh README BUILD_DIR             build and install BUILD_DIR as the README does
#   readme-recipes.sh README --installed PREFIX    a tree installed already (a package's files)
#   readme-recipes.sh README --windows FOLDER      an unpacked zip, KelPort-VERSION-win64 or -win32
set -euo pipefail
readme=$(realpath "$1")
mode=$2
given=$(realpath "${3:-$2}")
work=$(mktemp -d)
# A wine server outlives its last program for a while: it goes before its prefix does.
trap '[ "$mode" != --windows ] || /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

# The fenced block after the line <!-- recipe: NAME -->.
recipe() {
    local text
    text=$(awk -v marker="<!-- recipe: $1 -->" '
        $0 == marker { found = 1; next }
        found && /^```/ { if (inside) exit; inside = 1; next }
        inside { print }' "$readme")
    [ -n "$text" ] || { echo "the README has no recipe '$1'" >&2; exit 1; }
    printf '%s\n' "$text"
}
run() { bash -euo pipefail -c "$(recipe "$1")"; }
expect() { [ "$2" = "$3" ] || { printf '%s printed:\n%s\nnot:\n%s\n' "$1" "$2" "$3" >&2; exit 1; }; }

case $mode in
--installed)
    export PREFIX=$given
    ;;
--windows)
    export KELPORT=$given WINEPREFIX=$work/wine WINEDEBUG=-all
    # The compiler of the width the name tells; find_package refuses a tree of the other one.
    case $given in
    *-win64) export MINGW=x86_64-w64-mingw32 ;;
    *-win32) export MINGW=i686-w64-mingw32 ;;
    *) echo "$given is named for no width" >&2; exit 1 ;;
    esac
    ;;
*)
    export PREFIX=$work/prefix
    mkdir build
    ln -s "$given" build/default
    run install >/dev/null
    ;;
esac
mkdir app
# The example agent's recipes start from the top of the source tree.
ln -s "$(dirname "$readme")/examples" examples
recipe app.cpp >app/app.cpp
recipe CMakeLists.txt >app/CMakeLists.txt
expected="$(uname -n) -1234"

if [ "$mode" = --windows ]; then
    expect "the Windows recipe" "$(run windows 2>/dev/null | tr -d '\r' | tail -n 1)" "$expected"
    run windows-agent >/dev/null
    echo "the README's Windows recipe ran against $KELPORT"
    exit 0
fi

# Each installed header compiles on its own, the tracing library's among them: the API
# reference offers it to programs.
[ -e "$PREFIX/include/kelport/JuZadTrc.h" ] || { echo "JuZadTrc.h is not installed" >&2; exit 1; }
for header in "$PREFIX"/include/kelport/*.h; do
    echo "#include \"${header##*/}\"" | g++ -std=c++17 -fsyntax-only -x c++ -I"$PREFIX/include/kelport" -
done

expect "the CMake recipe" "$(run cmake 2>/dev/null | tail -n 1)" "$expected"
expect "the pkg-config recipe" "$(run pkg-config 2>/dev/null)" "$expected"
run traces >/dev/null
grep -q '"text":"KelSysInfo()\\n"' traces/app.json || { echo "the traces recipe left: $(cat traces/app.json)" >&2; exit 1; }
run agent >/dev/null
# In a session of its own, so that an agent that a failed question left running ends too.
setsid bash -euo pipefail -c "$(recipe agent-run)" >agent.out 2>/dev/null &
session=$!
wait "$session" || true
kill -- "-$session" 2>/dev/null || true
answer=$(grep -v listening agent.out)
[[ $answer =~ ^$(uname -n)\ pid\ [0-9]+\ saw\ 127.0.0.1\ send\ 6\ bytes:\ -1234$ ]] ||
    { echo "the agent recipe printed: $answer" >&2; exit 1; }
grep -q '"text":"KelGetSocketPacketLength(' traces/agent.json || { echo "the agent left: $(cat traces/agent.json)" >&2; exit 1; }
echo "the README's recipes ran against $PREFIX"
