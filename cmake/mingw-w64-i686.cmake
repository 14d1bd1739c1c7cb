# Cross-build for 32-bit Windows, the product's platform, with Debian's MinGW-w64
# (g++-mingw-w64-i686-posix, binutils-mingw-w64-i686).
set(FX_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
