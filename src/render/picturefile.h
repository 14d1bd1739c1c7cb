#ifndef FX_RENDER_PICTUREFILE_H
#define FX_RENDER_PICTUREFILE_H

#include <cstddef>
#include <cstdint>

// Checks on picture data made before the image library sees it.

bool fxIsPng(const uint8_t* data, size_t size);
// Every chunk lies inside the data and the walk reaches IEND.
bool fxPngIsWhole(const uint8_t* data, size_t size);
// True unless the file is a PNG that is not whole (other formats are left to the library).
bool fxPictureFileIsWhole(const char* file);
// Whether the file name holds "tran" in any case: such pictures load as alpha masks.
bool fxIsTransFilename(const char* file);

#endif
