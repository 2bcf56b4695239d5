#!/usr/bin/env bash
# Builds and runs KelPort on a Debian 12 machine, installing what it needs first.
#   ./dev.sh demo            build the program, then run the demonstration: kelport tour
#   ./dev.sh test            build every target and run every test of those that run here:
#                            Linux x86-64 (GCC and Clang), Linux i686 (under qemu-i386),
#                            Linux s390x (big-endian, under qemu-s390x), Windows x86-64
#                            (under wine64) and Windows i686 (under wine)
#   ./dev.sh sanitize        every test under AddressSanitizer and UndefinedBehaviorSanitizer,
#                            and the concurrency tests under ThreadSanitizer
#   ./dev.sh fuzz [SECONDS]  each fuzz target for SECONDS (60) from its seed corpus
#   ./dev.sh bench [ARGS]    build optimised, then run the benchmarks (Google Benchmark ARGS)
#   ./dev.sh docs            the API reference (Doxygen); an undocumented public name fails it
#   ./dev.sh package         the Debian package and the two Windows zips (cpack), each
#                            unpacked and used as the README says
#   ./dev.sh format [--fix]  list the C++ files that clang-format would change, and fail if
#                            there are any; with --fix, change them
set -euo pipefail
cd "$(dirname "$0")"

# What the default build needs (netbase: /etc/protocols and /etc/services, which the look-ups
# read; make: the README's CMake recipe), then what the other targets and their tests add.
packages=(cmake ninja-build make g++ binutils pkg-config netbase libspdlog-dev libfmt-dev libcli11-dev libpcap-dev
          googletest libgtest-dev libgmock-dev nlohmann-json3-dev)
test_packages=(clang g++-multilib qemu-user libstdc++-12-dev-s390x-cross libc6-dev-s390x-cross
               libgcc-12-dev-s390x-cross binutils-s390x-linux-gnu g++-mingw-w64-x86-64-posix
               g++-mingw-w64-i686-posix wine64 wine32:i386)

install() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    # An i386 package (the 32-bit wine) is found only once dpkg takes that architecture.
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    echo "== Installing ${#missing[@]} packages that are missing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

# The comment at the top of this file.
usage() {
    awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$(basename "$0")"
}

# What was asked for is read before anything is installed.
case "${1:-}" in
demo | test | sanitize | fuzz | bench | docs | package | format) ;;
-h | --help)
    usage
    exit 0
    ;;
*)
    [ -z "${1:-}" ] || echo "$(basename "$0"): '$1' is not a subcommand" >&2
    usage >&2
    exit 2
    ;;
esac

install "${packages[@]}"
case "$1" in
demo)
    cmake --preset default >/dev/null
    cmake --build --preset default --target kelport
    ./build/default/kelport tour
    ;;
test)
    install "${test_packages[@]}"
    for preset in default clang linux-i686 linux-s390x windows windows-i686; do
        echo "== $preset"
        build "$preset"
        ctest --preset "$preset"
    done
    ;;
sanitize)
    install clang libclang-rt-14-dev "${test_packages[@]}"
    for preset in asan tsan; do
        build "$preset"
        ctest --preset "$preset"
    done
    ;;
fuzz)
    install clang libclang-rt-14-dev
    seconds=${2:-60}
    build fuzz
    for target in atoll inet_aton ether juzad_config; do
        work=$(mktemp -d)
        echo "fuzz_$target for ${seconds}s"
        if ! ./build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -max_len=512 -print_final_stats=1 \
                -artifact_prefix="$work/" "$work" "fuzz/corpus/$target" >"$work/log" 2>&1; then
            tail -n 40 "$work/log"
            echo "fuzz_$target found a fault; the input that shows it:"
            for artifact in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-*; do
                [ -e "$artifact" ] && od -A x -t x1z "$artifact" | head -n 20
            done
            exit 1
        fi
        grep -E 'stat::number_of_executed_units' "$work/log"
        rm -rf "$work"
    done
    ;;
bench)
    install libbenchmark-dev
    build bench
    ./build/bench/bench/kelport_bench "${@:2}"
    ;;
docs)
    install doxygen
    cmake --preset default >/dev/null
    cmake --build --preset default --target docs
    echo "The API reference: build/default/docs/html/index.html"
    ;;
package)
    install dpkg-dev file "${test_packages[@]}"
    build default
    rm -rf build/default/package
    (cd build/default && cpack -G DEB -B package)
    deb=$(echo build/default/package/*.deb)
    dpkg-deb --info "$deb" | grep -E 'Package|Version|Depends'
    dpkg -x "$deb" build/default/package/root
    bash tests/readme-recipes.sh README.md --installed build/default/package/root/usr
    for preset in windows windows-i686; do
        echo "== $preset"
        build "$preset"
        rm -rf "build/$preset/package"
        (cd "build/$preset" && cpack -G ZIP -B package)
        zip=$(echo "build/$preset"/package/*.zip)
        cmake -E tar tf "$zip"
        mkdir "build/$preset/package/root"
        (cd "build/$preset/package/root" && cmake -E tar xf "../${zip##*/}")
        bash tests/readme-recipes.sh README.md --windows "build/$preset/package/root/$(basename "$zip" .zip)"
    done
    ;;
format)
    install clang-format-14
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
    if [ "${2:-}" = --fix ]; then
        clang-format-14 -i "${files[@]}"
        exit 0
    fi
    unformatted=()
    for file in "${files[@]}"; do
        clang-format-14 --dry-run --Werror "$file" 2>/dev/null || unformatted+=("$file")
    done
    if ((${#unformatted[@]} != 0)); then
        printf '%s\n' "${unformatted[@]}" "clang-format would change these: ./dev.sh format --fix" >&2
        exit 1
    fi
    ;;
esac
