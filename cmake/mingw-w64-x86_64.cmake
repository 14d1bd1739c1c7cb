# Cross-build for 64-bit Windows (g++-mingw-w64-x86-64-posix, binutils-mingw-w64-x86-64): the same
# sources as the 32-bit product, for running the tests under a 64-bit Wine where the machine
# cannot execute 32-bit programs.
set(FX_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
