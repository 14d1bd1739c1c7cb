#include "render/scrshot.h"

void fxMaskShift(uint32_t mask, int* shift, int* bits) {
    *shift = 0;
    *bits = 0;
    if (mask == 0) {
        return;
    }
    while ((mask & 1) == 0) {
        mask >>= 1;
        (*shift)++;
    }
    while (mask & 1) {
        mask >>= 1;
        (*bits)++;
    }
}

uint32_t fxScaleChannel(uint32_t value, int bits) {
    if (bits >= 8) {
        return (value >> (bits - 8)) & 255u;
    }
    uint32_t max = (1u << bits) - 1;
    return max == 0 ? 0 : (value * 255 + max / 2) / max;
}
