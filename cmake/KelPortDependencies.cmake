# The libraries the build uses, all from Debian's packages. Those packages are built for the
# build machine: a target of another system or width takes the headers alone (spdlog and fmt
# header-only, the header-only libraries as they are) and builds GoogleTest from its source
# package with its own compiler. libpcap serves the build machine only.
find_package(Threads REQUIRED)

if(NOT CMAKE_CROSSCOMPILING)
    find_package(fmt REQUIRED)
    find_package(spdlog REQUIRED)
    if(KELPORT_TOOLS)
        find_package(CLI11 REQUIRED)
        find_package(PkgConfig REQUIRED)
        pkg_check_modules(PCAP REQUIRED IMPORTED_TARGET libpcap)
        set(KELPORT_PCAP ON)
    endif()
    if(KELPORT_TESTS)
        find_package(GTest REQUIRED)
    endif()
    if(KELPORT_TESTS OR KELPORT_FUZZ)
        find_package(nlohmann_json REQUIRED)
    endif()
    return()
endif()

# Only these folders of /usr/include, so that no header of the build machine's C library
# reaches the target's compiler.
set(hostHeaders ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${hostHeaders})
foreach(folder spdlog fmt nlohmann CLI)
    if(NOT EXISTS /usr/include/${folder})
        message(FATAL_ERROR "/usr/include/${folder} is missing: install Debian's headers of it")
    endif()
    file(CREATE_LINK /usr/include/${folder} ${hostHeaders}/${folder} SYMBOLIC)
endforeach()

function(kelport_header_library name)
    add_library(${name} INTERFACE)
    target_include_directories(${name} SYSTEM INTERFACE ${hostHeaders})
    target_compile_definitions(${name} INTERFACE ${ARGN})
endfunction()

kelport_header_library(kelport_fmt FMT_HEADER_ONLY)
add_library(fmt::fmt ALIAS kelport_fmt)
kelport_header_library(kelport_spdlog SPDLOG_FMT_EXTERNAL FMT_HEADER_ONLY)
target_link_libraries(kelport_spdlog INTERFACE Threads::Threads)
add_library(spdlog::spdlog ALIAS kelport_spdlog)
kelport_header_library(kelport_json)
add_library(nlohmann_json::nlohmann_json ALIAS kelport_json)
kelport_header_library(kelport_cli11)
add_library(CLI11::CLI11 ALIAS kelport_cli11)
set(KELPORT_PCAP OFF)

if(KELPORT_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(INSTALL_GTEST OFF CACHE BOOL "")
    add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endif()
