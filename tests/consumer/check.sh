#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a consumer against it with
# find_package and with pkg-config, and runs the installed program. The consumers are built
# with the compiler, flags and toolchain of the installed tree (sanitizer and cross builds
# need them), and run under its emulator, if any.
#   check.sh BUILD_DIR SOURCE_DIR SYSTEM COMPILER FLAGS TOOLCHAIN [EMULATOR...]
set -euo pipefail
build=$1
source=$2
system=$3
compiler=$4
flags=$5
toolchain=$6
shift 6
emulator=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
libdir=$(dirname "$(find "$prefix" -name kelport.pc)")/..
if [ "$system" = win32 ]; then
    exe=.exe
    # Windows finds the installed DLLs on its PATH, and the compiler's runtime DLLs, which a
    # program linked without -static needs (on i686, libgcc's, over winpthread, for every
    # program).
    WINEPATH="Z:$prefix/bin"
    for runtime in "$("$compiler" -print-libgcc-file-name)" "$("$compiler" -print-file-name=libwinpthread-1.dll)"; do
        WINEPATH+=";Z:$(dirname "$(realpath "$runtime")")"
    done
    export WINEPATH=${WINEPATH//\//\\}
else
    exe=
fi
run() { "${emulator[@]}" "$@"; }
expected="10.1.2.3 -1234 8"

cross=()
[ -z "$toolchain" ] || cross=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -DKelPort_DIR="$libdir/cmake/KelPort")
cmake -S "$source" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" \
      -DCMAKE_CXX_FLAGS="$flags" "${cross[@]}" >/dev/null
cmake --build "$work/cmake" >/dev/null
out=$(JUZAD_TRACE_SINK=stdout JUZAD_TRACE_FORMAT=json run "$work/cmake/consumer$exe" | tr -d '\r')
[ "$(head -n1 <<<"$out")" = "$expected" ] || { echo "find_package consumer printed: $out"; exit 1; }
grep -q '"text":"Be aware : Given socket descriptor is invalid. in ../consumer at line 1\\n"' <<<"$out" \
    || { echo "find_package consumer traced: $out"; exit 1; }

export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2086 # the flags are words
"$compiler" -std=c++17 $flags "$source/main.cpp" $(pkg-config --cflags --libs kelport) -o "$work/consumer-pc$exe"
out=$(LD_LIBRARY_PATH=$libdir JUZAD_TRACE_SINK=null run "$work/consumer-pc$exe" | tr -d '\r')
[ "$out" = "$expected" ] || { echo "pkg-config consumer printed: $out"; exit 1; }

if [ -e "$prefix/bin/kelport$exe" ]; then
    out=$(run "$prefix/bin/kelport$exe" atoll 42 | tr -d '\r')
    [ "$out" = 'KelAtoll("42") = 42' ] || { echo "installed kelport printed: $out"; exit 1; }
fi
echo "consumers built and ran against $prefix"
