#!/usr/bin/env bash
# Two exchanges between the example agents of two builds, on 127.0.0.1 and ports the system
# chooses: this build's agent answers the native build's prober, then the native agent
# answers this build's prober. Each side traces to a JSON file, which must hold the records of
# the calls it made. A silent agent fails its exchange within 10 s; every agent started is
# ended.
#   agent-exchange.sh NATIVE_AGENT AGENT [EMULATOR...]
set -euo pipefail
native=$(realpath "$1")
target=$(realpath "$2")
shift 2
emulator=("$@")
work=$(mktemp -d)
agents=()
cleanup() {
    [ ${#agents[@]} -eq 0 ] || kill "${agents[@]}" 2>/dev/null || true
    wait
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
export JUZAD_TRACE_FORMAT=json
number=-81,985,529,216,486,895  # -0x0123456789abcdef: each byte tells its place

fail() { echo "$*" >&2; exit 1; }
has_record() { grep -qF "\"text\":\"$2" "$1" || fail "$1 has no record of $2: $(cat "$1" 2>/dev/null)"; }

# exchange NAME AGENT... -- PROBER...
exchange() {
    local name=$1 line="" pid port
    shift
    local agent=() prober
    while [ "$1" != -- ]; do agent+=("$1"); shift; done
    prober=("${@:2}")
    JUZAD_TRACE_SINK=file:$name-agent.json timeout -k 1 120 "${agent[@]}" serve 0 >"$name-agent.out" 2>&1 &
    agents+=($!)
    # qemu or wine may take a while to start the program; the exchange is what is timed.
    for _ in $(seq 600); do
        # The agent's shell may not have made its output file yet.
        line=$(head -n 1 "$name-agent.out" 2>/dev/null | tr -d '\r') || true
        [[ $line =~ ^agent\ ([0-9]+)\ listening\ on\ UDP\ port\ ([0-9]+)$ ]] && break
        kill -0 "${agents[-1]}" 2>/dev/null || fail "$name: the agent ended: $(cat "$name-agent.out")"
        sleep 0.1
    done
    pid=${BASH_REMATCH[1]:-} port=${BASH_REMATCH[2]:-}
    [ -n "$port" ] || fail "$name: the agent did not say its port within 60 s"
    local start=${EPOCHREALTIME/./} answer
    answer=$(JUZAD_TRACE_SINK=file:$name-prober.json timeout -k 1 10 "${prober[@]}" ask 127.0.0.1 "$port" "$number" | tr -d '\r') ||
        fail "$name: the exchange failed (status $?): $answer"
    local took=$(((${EPOCHREALTIME/./} - start) / 1000))
    [ "$answer" = "$(uname -n) pid $pid saw 127.0.0.1 send ${#number} bytes: -81985529216486895" ] ||
        fail "$name: the prober printed: $answer"
    kill "${agents[-1]}"
    has_record "$name-agent.json" "KelGetSocketPacketLength("
    has_record "$name-agent.json" 'KelSysInfo()\n'
    has_record "$name-agent.json" 'KelGetIPStr()\n'
    has_record "$name-prober.json" 'KelGetHostByName_r()\n'
    echo "$name: asked and answered in $took ms"
}

exchange "this-agent" "${emulator[@]}" "$target" -- "$native"
exchange "native-agent" "$native" -- "${emulator[@]}" "$target"
