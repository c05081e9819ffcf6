# Cross-compiles the same tree for 64-bit Windows with Debian's MinGW-w64
# (posix thread model, which GoogleTest needs). The product is the 32-bit
# stub; this tree exists so that the tests can run on machines whose kernel
# cannot start 32-bit programs, and so that every line is proven correct
# with 64-bit pointers. Test executables run under 64-bit Wine through ctest.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOOL_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# The 64-bit loader itself: Debian's `wine` script picks the 32-bit loader
# whenever it is installed, even for a 64-bit prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
