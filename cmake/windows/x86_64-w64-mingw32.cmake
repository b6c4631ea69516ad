# Cross-builds the Windows programs (x86_64) with Debian's MinGW-w64 GCC.
# The posix thread model: its libstdc++ has std::thread and std::jthread.
# Tests run under Wine (scripts/wine-run), which makes a prefix when none is
# given. Header-only libraries come from the build machine (host-packages/);
# nothing else of the build machine is searched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_SYSTEM_VERSION 10)

set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_triple}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# nlohmann-json and CLI11 are header-only: their headers, and only theirs,
# are taken from the build machine.
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/host-packages CACHE PATH "")
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/host-packages CACHE PATH "")

# Every program links the C and C++ run-times and winpthread statically, so
# camprep.exe needs no DLL beyond Windows' own.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

get_filename_component(_source ${CMAKE_CURRENT_LIST_DIR}/../.. ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_source}/scripts/wine-run --test)
