#!/bin/bash
# Runs an s390x program under qemu-s390x with Debian's s390x libraries: the emulator of the
# Linux s390x build, for its test programs, the tests' discovery and what the tests start.
#   qemu-s390x-run.sh PROGRAM [ARGS...]
# bash, not sh: tests run programs with as few as ten descriptors, and dash cannot then open
# a script (it moves the script's descriptor to 10 or above); bash takes the highest free one.
QEMU_LD_PREFIX=/usr/s390x-linux-gnu exec qemu-s390x "$@"
