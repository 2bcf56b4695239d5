#!/usr/bin/env bash
# Installs the build into a fresh prefix, then builds and runs a consumer against it with
# find_package and with pkg-config, and runs the installed program. The consumers are built
# with the compiler and flags of the installed tree (sanitizer builds need them).
#   check.sh BUILD_DIR SOURCE_DIR COMPILER [FLAGS]
set -euo pipefail
build=$1
source=$2
compiler=$3
flags=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
expected="10.1.2.3 -1234 8"

cmake -S "$source" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$compiler" \
      -DCMAKE_CXX_FLAGS="$flags" >/dev/null
cmake --build "$work/cmake" >/dev/null
out=$(JUZAD_TRACE_SINK=stdout JUZAD_TRACE_FORMAT=json "$work/cmake/consumer")
[ "$(head -n1 <<<"$out")" = "$expected" ] || { echo "find_package consumer printed: $out"; exit 1; }
grep -q '"text":"Be aware : Given socket descriptor is invalid. in ../consumer at line 1\\n"' <<<"$out" \
    || { echo "find_package consumer traced: $out"; exit 1; }

libdir=$(dirname "$(find "$prefix" -name kelport.pc)")/..
export PKG_CONFIG_PATH=$libdir/pkgconfig
# shellcheck disable=SC2086 # the flags are words
"$compiler" -std=c++17 $flags "$source/main.cpp" $(pkg-config --cflags --libs kelport) -o "$work/consumer-pc"
out=$(LD_LIBRARY_PATH=$libdir JUZAD_TRACE_SINK=null "$work/consumer-pc")
[ "$out" = "$expected" ] || { echo "pkg-config consumer printed: $out"; exit 1; }

out=$("$prefix/bin/kelport" atoll 42)
[ "$out" = 'KelAtoll("42") = 42' ] || { echo "installed kelport printed: $out"; exit 1; }
echo "consumers built and ran against $prefix"
