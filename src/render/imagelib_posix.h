#ifndef FX_RENDER_IMAGELIB_POSIX_H
#define FX_RENDER_IMAGELIB_POSIX_H

// The image library's file names and calling convention on Linux.
#define FX_ILAPI
#define FX_IL_LIBRARY "libIL.so.1"
#define FX_ILU_LIBRARY "libILU.so.1"

// Linux has no other picture codec to stand in for the library.
inline bool fxBindPlatformPictures() {
    return false;
}

#endif
