#!/usr/bin/env bash
# Runs the README's recipes for a program that uses the library, exactly as the README writes
# them, in a fresh folder: builds and installs a build folder with the README's install
# recipe, its build step included (or takes a tree installed some other way), compiles each
# installed header on its own, writes app/app.cpp and app/CMakeLists.txt from the README,
# builds and runs the program with CMake and with pkg-config, and traces it into a file.
#   readme-recipes.sh README BUILD_DIR             build and install BUILD_DIR as the README does
#   readme-recipes.sh README --installed PREFIX    a tree installed already (a package's files)
set -euo pipefail
readme=$(realpath "$1")
given=$(realpath "${3:-$2}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
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

if [ "$2" = --installed ]; then
    export PREFIX=$given
else
    export PREFIX=$work/prefix
    mkdir build
    ln -s "$given" build/default
    run install >/dev/null
fi
# Each installed header compiles on its own, the tracing library's among them: the API
# reference offers it to programs.
[ -e "$PREFIX/include/kelport/JuZadTrc.h" ] || { echo "JuZadTrc.h is not installed" >&2; exit 1; }
for header in "$PREFIX"/include/kelport/*.h; do
    echo "#include \"${header##*/}\"" | g++ -std=c++17 -fsyntax-only -x c++ -I"$PREFIX/include/kelport" -
done
mkdir app
recipe app.cpp >app/app.cpp
recipe CMakeLists.txt >app/CMakeLists.txt
expected="$(uname -n) -1234"

expect "the CMake recipe" "$(run cmake 2>/dev/null | tail -n 1)" "$expected"
expect "the pkg-config recipe" "$(run pkg-config 2>/dev/null)" "$expected"
run traces >/dev/null
grep -q '"text":"KelSysInfo()\\n"' traces/app.json || { echo "the traces recipe left: $(cat traces/app.json)" >&2; exit 1; }
echo "the README's recipes ran against $PREFIX"
