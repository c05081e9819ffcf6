# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (posix thread model,
# which GoogleTest needs): the product and its tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOL_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Every test executable is started through Wine's 32-bit loader;
# scripts/with-wine.sh has set up the prefix, the persistent server and the
# display before ctest runs.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine)
