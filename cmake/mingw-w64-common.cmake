# What both Windows cross-builds share; mingw-w64-i686.cmake and mingw-w64-x86_64.cmake name the
# target. The posix flavour of Debian's compiler gives std::thread and friends.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${FX_MINGW_PROCESSOR})

set(FX_MINGW_PREFIX ${FX_MINGW_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER ${FX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${FX_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${FX_MINGW_PREFIX}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${FX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime's own printf knows C99 formats (%zu, %lld); the system one does not.
set(CMAKE_C_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# The executables must need only system DLLs: the compiler's runtime goes in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
