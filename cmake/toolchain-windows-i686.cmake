# 32-bit Windows DLLs and programs, the library's original form, built on Linux by MinGW-w64
# with posix threads. Their tests run under wine (Debian's wine32:i386), in a wine prefix of
# the build's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KELPORT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh /usr/lib/wine/wine
                                      ${CMAKE_BINARY_DIR}/wine)
endif()
