#!/usr/bin/env bash
# Builds and runs KelPort on a Debian 12 machine, installing what it needs first.
#   ./dev.sh demo            build, then run the demonstration: kelport tour
#   ./dev.sh test            build and run every test on every target these machines can run:
#                            Linux x86-64 (GCC and Clang), Linux i686 (under qemu-i386),
#                            Windows x86-64 (under wine64); build Windows i686 and check its
#                            exports
#   ./dev.sh sanitize        every test under AddressSanitizer and UndefinedBehaviorSanitizer,
#                            and the concurrency tests under ThreadSanitizer
#   ./dev.sh fuzz [SECONDS]  each fuzz target for SECONDS (60) from its seed corpus
#   ./dev.sh bench [ARGS]    build optimised, then run the benchmarks (Google Benchmark ARGS)
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ clang libclang-rt-14-dev binutils pkg-config netbase googletest libgtest-dev
          libgmock-dev libbenchmark-dev libspdlog-dev libfmt-dev nlohmann-json3-dev libcli11-dev libpcap-dev)
cross_packages=(g++-multilib qemu-user g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64)

install() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
    done
    ((${#missing[@]})) || return 0
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

install "${packages[@]}"
case "${1:-}" in
demo)
    build default
    ./build/default/kelport tour
    ;;
test)
    install "${cross_packages[@]}"
    for preset in default clang linux-i686 windows windows-i686; do
        echo "== $preset"
        build "$preset"
        ctest --preset "$preset"
    done
    ;;
sanitize)
    for preset in asan tsan; do
        build "$preset"
        ctest --preset "$preset"
    done
    ;;
fuzz)
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
    build bench
    ./build/bench/bench/kelport_bench "${@:2}"
    ;;
*)
    echo "usage: $0 demo|test|sanitize|fuzz [SECONDS]|bench [ARGS]" >&2
    exit 2
    ;;
esac
