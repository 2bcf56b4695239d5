# Windows x86-64 DLLs and programs, built on Linux by MinGW-w64 with posix threads. Their
# tests run under wine64, in a wine prefix of the build's own.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KELPORT_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh /usr/lib/wine/wine64
                                      ${CMAKE_BINARY_DIR}/wine)
endif()
