#include "render/picturefile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The image library can spin for minutes on a truncated PNG, so a PNG is walked chunk by chunk
// first: every chunk must lie inside the data and the walk must reach IEND.
static const uint8_t localPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};

bool fxIsPng(const uint8_t* data, size_t size) {
    return size >= 8 && memcmp(data, localPngSignature, 8) == 0;
}

bool fxPngIsWhole(const uint8_t* data, size_t size) {
    size_t at = 8;
    while (at + 12 <= size) {
        uint32_t length = (uint32_t)data[at] << 24 | (uint32_t)data[at + 1] << 16 | (uint32_t)data[at + 2] << 8 |
                          (uint32_t)data[at + 3];
        if (length > size - at - 12) {
            return false;
        }
        if (memcmp(data + at + 4, "IEND", 4) == 0) {
            return true;
        }
        at += 12 + (size_t)length;
    }
    return false;
}

bool fxPictureFileIsWhole(const char* file) {
    FILE* f = fopen(file, "rb");
    if (f == nullptr) {
        return true; // the library reports the missing file itself
    }
    uint8_t head[8] = {};
    bool whole = true;
    if (fread(head, 1, 8, f) == 8 && fxIsPng(head, 8)) {
        long size = fseek(f, 0, SEEK_END) == 0 ? ftell(f) : -1;
        uint8_t* data = size > 0 ? (uint8_t*)malloc((size_t)size) : nullptr;
        whole = data != nullptr && fseek(f, 0, SEEK_SET) == 0 && fread(data, 1, (size_t)size, f) == (size_t)size &&
                fxPngIsWhole(data, (size_t)size);
        free(data);
    }
    fclose(f);
    return whole;
}

bool fxIsTransFilename(const char* file) {
    for (const char* p = file; *p != 0; p++) {
        if (tolower((unsigned char)p[0]) == 't' && tolower((unsigned char)p[1]) == 'r' &&
            tolower((unsigned char)p[2]) == 'a' && tolower((unsigned char)p[3]) == 'n') {
            return true;
        }
    }
    return false;
}
