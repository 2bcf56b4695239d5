#!/usr/bin/env bash
# Builds and runs KelPort on a Debian 12 machine, installing what it needs first.
#   ./dev.sh demo    build, then run the demonstration: kelport tour
#   ./dev.sh test    build with GCC and with Clang, then run every test of both builds
#   ./dev.sh bench   build optimised, then run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ clang binutils pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libspdlog-dev libfmt-dev nlohmann-json3-dev libcli11-dev libpcap-dev)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    echo "Installing ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1"
}

case "${1:-}" in
demo)
    build default
    ./build/default/kelport tour
    ;;
test)
    for preset in default clang; do
        build "$preset"
        ctest --preset "$preset"
    done
    ;;
bench)
    build bench
    ./build/bench/bench/kelport_bench "${@:2}"
    ;;
*)
    echo "usage: $0 demo|test|bench [benchmark options]" >&2
    exit 2
    ;;
esac
