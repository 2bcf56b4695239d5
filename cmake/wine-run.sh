#!/bin/sh
# Runs a Windows program under wine in the build's own prefix: the emulator of the Windows
# builds, for their test programs and the tests' discovery alike. LOADER is the wine of the
# program's width (/usr/lib/wine/wine64 or, for 32-bit programs, /usr/lib/wine/wine); the
# prefix is made by wine64 in either case, since such a prefix runs both widths.
#   wine-run.sh LOADER PREFIX PROGRAM [ARGS...]
# Two wine processes that find no prefix create it together, and then one of them may fail
# ("chdir to /tmp/wine-.../server-...") or each may start a server of its own, whose clients
# later find it gone. So the first start creates the prefix alone, under a lock, and
# everything after it shares the one prefix and its server.
set -eu
loader=$1
prefix=$2
shift 2
export WINEPREFIX="$prefix" WINEDEBUG=-all
if [ ! -e "$prefix/.kelport-ready" ]; then
    exec 9>"$prefix.lock"
    flock 9
    if [ ! -e "$prefix/.kelport-ready" ]; then
        # Not the lock: the server that this starts outlives it.
        if ! /usr/lib/wine/wine64 wineboot --init >"$prefix.log" 2>&1 9>&-; then
            cat "$prefix.log" >&2
            echo "wine-run.sh: wine could not make the prefix $prefix" >&2
            exit 1
        fi
        touch "$prefix/.kelport-ready"
    fi
    exec 9>&-
fi
# Without address randomisation: the loader sits at a fixed address below 2 GiB and the kernel
# puts its heap at random up to 1 GiB above it, where it sometimes takes the page that wine
# must map at 0x7ffe0000, and the program, or one it starts, fails to start ("failed to map
# the shared user data"). Programs that this one starts inherit the setting.
exec setarch -R "$loader" "$@"
