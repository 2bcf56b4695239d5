#!/usr/bin/env bash
# Builds and runs KelPort on a Debian 12 machine, installing what it needs first.
#   ./dev.sh demo            build the program, then run the demonstration: kelport tour
#   ./dev.sh test [PRESET...] build every target (or those presets) and run every test of those
#                            that run here: Linux x86-64 (GCC and Clang), Linux i686 (under
#                            qemu-i386), Linux s390x (big-endian, under qemu-s390x), Windows
#                            x86-64 (under wine64) and Windows i686 (under wine); then compare
#                            what the library answered on each
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
               g++-mingw-w64-i686-posix wine64 wine32:i386 logrotate)

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

# How this machine runs PRESET's test programs: "native" (itself or under the target's emulator,
# as its toolchain file says), "slow" (under an emulator for 32-bit programs that the user has
# registered with the kernel, where wine's 32-bit loader takes some 50 s to start and a program
# whose threads run at once fails, with or without the library in it), or "none".
# Wine's 32-bit loader is itself a 32-bit x86 program, and some kernels run none ("Exec format
# error").
runs_here() {
    if [ "$1" != windows-i686 ]; then
        echo native
    elif grep -qs '^magic 7f454c4601010.*0300$' /dev/null $(grep -lsx enabled /proc/sys/fs/binfmt_misc/*); then
        echo slow
    elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo native
    else
        echo none
    fi
}

# ctest of PRESET with ARGS; says "TESTS FAILED SKIPPED" of what it ran.
run_ctest() {
    local preset=$1 report="$PWD/build/$1/ctest-results.xml"
    shift
    rm -f "$report"
    ctest --preset "$preset" --output-junit "$report" "$@" >&2 || true
    for count in tests failures skipped; do
        sed -n "s/^[[:space:]]*$count=\"\([0-9]*\)\"/\1/p" "$report" 2>/dev/null | head -n 1 | grep . || echo 0
    done | xargs
}

# A GoogleTest program of a Windows PRESET run once under wine, less its death tests (each of
# which starts the program again); says "TESTS FAILED SKIPPED" of what it ran.
run_whole() {
    # Shown as it goes, through a file: tee to /dev/stderr would open a log file afresh, at its start.
    local log="$PWD/build/$1/$2.log"
    sh cmake/wine-run.sh /usr/lib/wine/wine "$PWD/build/$1/wine" "build/$1/bin/$2.exe" \
        --gtest_filter=-*DeathTest*:*AtOnce* 2>&1 | tr -d '\r' | tee "$log" >&2
    local ran failures skips
    ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$log")
    failures=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:/\1/p' "$log")
    skips=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\{0,1\}, listed below:/\1/p' "$log")
    # A suite that did not say what it ran did not start, or ended early: one test, failed.
    [ -n "$ran" ] || { echo "1 1 0"; return; }
    echo "$ran ${failures:-0} ${skips:-0}"
}

# Adds TESTS FAILED SKIPPED of PRESET to the totals and its line to the results. A target that
# ran nothing has not passed.
passed=0 failed=0 skipped=0 results=()
tally() {
    local tests=$2 failures=$3 skips=$4
    ((tests > 0)) || failures=1
    local good=$((tests > 0 ? tests - failures - skips : 0))
    passed=$((passed + good)) failed=$((failed + failures)) skipped=$((skipped + skips))
    results+=("$1: $good passed, $failures failed, $skips skipped")
}

# The digests of what the library answered in the fuzz replays, of each PRESET against the
# first: the same inputs must give the same answers everywhere. Names the first input whose
# answer differs, with the two answers.
compare_digests() {
    local first=${1:-} preset digest other line mine theirs status=0
    for preset in "${@:2}"; do
        for digest in "build/$first/digests/"*; do
            other="build/$preset/digests/${digest##*/}"
            cmp -s "$digest" "$other" && continue
            status=1
            if [ ! -f "$other" ]; then
                echo "${digest##*/}: $preset wrote no digest"
                continue
            fi
            # "differ: byte B, line L"; "EOF on FILE after byte B, line L" after its last line, or
            # "EOF on FILE which is empty"
            line=$(cmp "$digest" "$other" 2>&1 | sed -n -e 's/.*EOF.*line \([0-9]*\).*/\1+1/p' \
                -e 's/.*differ.*line \([0-9]*\).*/\1/p' -e 's/.*EOF.*empty.*/1/p')
            line=$((${line:-1}))
            mine=$(sed -n "${line}p" "$digest")
            theirs=$(sed -n "${line}p" "$other")
            if [ "${mine%%$'\t'*}" != "${theirs%%$'\t'*}" ]; then
                printf '%s: %s tried other inputs than %s, first at line %s:\n  %s\n  %s\n' "${digest##*/}" \
                    "$preset" "$first" "$line" "${mine%%$'\t'*}" "${theirs%%$'\t'*}"
                continue
            fi
            printf '%s: %s answers otherwise than %s, first for the input %s\n  %s: %s\n  %s: %s\n' \
                "${digest##*/}" "$preset" "$first" "${mine%%$'\t'*}" "$first" "${mine#*$'\t'}" \
                "$preset" "${theirs#*$'\t'}"
        done
    done
    return $status
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
    ran=() not_run=() problems=()
    presets=("${@:2}")
    ((${#presets[@]})) || presets=(default clang linux-i686 linux-s390x windows windows-i686)
    for preset in "${presets[@]}"; do
        echo "== $preset"
        if ! build "$preset"; then
            problems+=("$preset: the build failed")
            continue
        fi
        rm -f "build/$preset/digests/"*
        total=$(ctest --preset "$preset" -N | sed -n 's/^Total Tests: //p')
        case $(runs_here "$preset") in
        native)
            read -r tests failures skips < <(run_ctest "$preset")
            ran+=("$preset")
            ;;
        slow)
            # Each program in one process, and only those that start no others: the export
            # table, the fuzz replays, and the two suites of calls less their threads at once.
            start=$SECONDS
            counts=$(run_ctest "$preset" -R '^(Library[.]Exports|Fuzz[.])'; run_whole "$preset" kelport_tests
                     run_whole "$preset" kelport_double_tests)
            read -r tests failures skips < <(awk '{ t += $1; f += $2; s += $3 } END { print t, f, s }' <<<"$counts")
            ran+=("$preset")
            not_run+=("$preset: $((total - tests)) tests not run: their programs start others, start again for each test, or run threads at once, and a 32-bit program here runs only under the emulator registered with the kernel, slowly and with no threads at once (the $tests that ran took $((SECONDS - start)) s)")
            ;;
        none)
            # What the build machine checks by itself still runs: the export table.
            read -r tests failures skips < <(run_ctest "$preset" -L host)
            not_run+=("$preset: $((total - tests)) tests not run: this kernel runs no 32-bit programs")
            ;;
        esac
        tally "$preset" "$tests" "$failures" "$skips"
    done
    compare_digests "${ran[@]}" || problems+=("the targets' answers differ (above)")
    printf '%s\n' "== The tests of every target" "${results[@]}" "${not_run[@]}" "${problems[@]}"
    echo "total: $passed passed, $failed failed, $skipped skipped"
    ((failed == 0 && ${#problems[@]} == 0))
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
        if [ "$(runs_here "$preset")" = none ]; then
            echo "$preset: the README's Windows recipe not run against the zip: this kernel runs no 32-bit programs"
            continue
        fi
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
