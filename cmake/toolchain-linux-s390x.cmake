# 64-bit big-endian Linux (s390x) programs and libraries, built by Clang over Debian's s390x
# cross libraries (libstdc++-12-dev-s390x-cross, libc6-dev-s390x-cross) and linked by
# binutils-s390x-linux-gnu. Their tests run under qemu-s390x (Debian's qemu-user) through
# qemu-s390x-run.sh, one word, which gives qemu QEMU_LD_PREFIX: test discovery and every
# program that a test starts go through it, so all of them find the target's libraries.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_FLAGS_INIT --target=s390x-linux-gnu)
set(CMAKE_CXX_FLAGS_INIT --target=s390x-linux-gnu)
# Headers from the cross tree alone (Clang would fall back to the build machine's
# /usr/include). Not for linking: the C library's link scripts name absolute paths there.
set(CMAKE_SYSROOT_COMPILE /usr/s390x-linux-gnu)
set(CMAKE_NM s390x-linux-gnu-nm)
set(CMAKE_OBJDUMP s390x-linux-gnu-objdump)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/qemu-s390x-run.sh)
endif()
