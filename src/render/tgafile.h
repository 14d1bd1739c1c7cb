#ifndef FX_RENDER_TGAFILE_H
#define FX_RENDER_TGAFILE_H

#include <cstddef>
#include <cstdint>
#include <vector>

// TGA pictures for a platform whose own codecs lack the format (the Windows Imaging Component):
// true-colour and grey, plain or run-length coded, 8, 24 or 32 bits a pixel.

// Decodes into 8-bit RGBA, top row first; false for anything malformed or cut short.
bool fxDecodeTga(const uint8_t* data, size_t size, int* width, int* height, std::vector<uint8_t>* rgba);
// Encodes width x height pixels of 1 (grey), 3 (RGB) or 4 (RGBA) channels, rows given top first
// unless bottomUp, as a plain (uncoded) TGA.
bool fxEncodeTga(const uint8_t* pixels, int width, int height, int channels, bool bottomUp, std::vector<uint8_t>* out);

#endif
