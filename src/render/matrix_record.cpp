#include "render/3dmath.h"

#include <cstdint>
#include <cstring>

#include "io/package.h"
#include "base/stream.h"

// The 64-byte record is read as one block; an entry too short for it leaves the identity.
void FXMatrix::LoadC(FXPackage* pkg, FXPackageData* data) {
    (void)pkg;
    const uint8_t* p = data != nullptr ? (const uint8_t*)data->ReadBlc(64) : nullptr;
    if (p == nullptr) {
        SetIdentity();
        return;
    }
    for (int i = 0; i < 16; i++) {
        uint32_t v = fxGetLE32(p + 4 * i);
        memcpy(&m[i], &v, 4);
    }
}
