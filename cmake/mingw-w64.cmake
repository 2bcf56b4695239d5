# What the two MinGW-w64 toolchains share; KELPORT_MINGW_TRIPLET names the target.
set(CMAKE_C_COMPILER ${KELPORT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KELPORT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KELPORT_MINGW_TRIPLET}-windres)
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KELPORT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# The compiler's runtime (libgcc, libstdc++, winpthread) goes inside each DLL and program, so
# that they need nothing of the build machine's at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
