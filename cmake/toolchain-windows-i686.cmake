# 32-bit Windows DLLs and programs, the library's original form, built on Linux by MinGW-w64
# with posix threads. Nothing here runs 32-bit Windows programs: this target is built and its
# export table checked.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KELPORT_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
