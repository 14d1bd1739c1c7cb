#include "render/3dmath.h"

#include <cstdint>
#include <cstring>

#include "assets/package.h"

// The 64-byte record is read as one block; an entry too short for it leaves the identity.
void FXMatrix::LoadC(FXPackage* pkg, FXPackageData* data) {
    (void)pkg;
    const uint8_t* p = data != nullptr ? (const uint8_t*)data->ReadBlc(64) : nullptr;
    if (p == nullptr) {
        SetIdentity();
        return;
    }
    for (int i = 0; i < 16; i++) {
        const uint8_t* b = p + 4 * i;
        uint32_t v = (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
        memcpy(&m[i], &v, 4);
    }
}
