#ifndef FX_RENDER_IMAGELIB_W32_H
#define FX_RENDER_IMAGELIB_W32_H

// The image library's file names and calling convention on Windows.
#define FX_ILAPI __stdcall
#define FX_IL_LIBRARY "devil.dll"
#define FX_ILU_LIBRARY "ilu.dll"

// Without the library's DLLs, the platform's Imaging Component answers its entry points
// (imagewic_w32.cpp); true once they are set.
bool fxBindPlatformPictures();

#endif
