#!/usr/bin/env bash
# Debian's logrotate, forced once under a program that traces to file:PATH, as an operator runs
# it. With create, PATH and the rotated file hold every record once between them, and every
# record from 1.1 s after the rotation on is at PATH. With copytruncate, the records that
# logrotate's copy window loses are the only ones lost, and no zero bytes are left where the
# file was cut.
#   logrotate.sh [EMULATOR...] HELPER
set -euo pipefail
command -v logrotate >/dev/null || { echo "logrotate is not installed (./dev.sh test installs it)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
calls=4000
stamp() { date -u -d "@$1" '+[%Y-%m-%d %H:%M:%S.%6N]'; }
for mode in create copytruncate; do
    dir=$work/$mode
    mkdir "$dir"
    printf '%s {\n    %s\n    rotate 2\n}\n' "$dir/trace.log" "$mode" >"$dir/conf"
    JUZAD_TRACE="Memory Usage=0" JUZAD_TRACE_SINK="file:$dir/trace.log" TZ=UTC \
        "$@" --count 0 0 0 1 "$calls" 500 &
    program=$!
    sleep 1
    logrotate -f -s "$dir/state" "$dir/conf"
    after=$(stamp "$(awk -v now="$(date +%s.%N)" 'BEGIN { printf "%.6f", now + 1.1 }')")
    wait "$program"
    [ -s "$dir/trace.log.1" ] || { echo "$mode: logrotate rotated nothing"; exit 1; }
    if [ "$(tr -d '\n' <"$dir/trace.log" | tr -cd '\0' | wc -c)" -ne 0 ]; then
        echo "$mode: zero bytes in trace.log"
        exit 1
    fi
    # Each record: its file, its time, its call; then what each check finds wrong.
    problems=$(for file in trace.log trace.log.1; do
        sed -n "s/^\(\[[^]]*\]\) \[ZeltaDiscovery\] \[Trace\] \[pid [0-9]* tid [0-9]*\] emit:1 0\.0\.\([0-9]*\)$/$file \1 \2/p; t; s/^/$file not whole: /p" "$dir/$file"
    done | awk -v mode="$mode" -v after="$after" -v calls="$calls" '
        $2 == "not" { print; next }
        { seen[$4]++; time = $2 " " $3 }
        mode == "create" && time > after && $1 != "trace.log" { print "call " $4 " at " time " went to " $1 }
        END {
            for (call = 0; call < calls; call++) {
                if (seen[call] > 1) print "call " call " is there " seen[call] " times"
                if (!seen[call]) lost++
            }
            # copytruncate loses what the program writes between logrotate copying and cutting
            if (lost > (mode == "create" ? 0 : 40)) print lost " records lost"
        }')
    if [ -n "$problems" ]; then
        printf '%s: %s\n' "$mode" "$problems" | head -n 20
        exit 1
    fi
done
echo "logrotate with create and with copytruncate lost no record it need not"
