#ifndef FX_IO_VERTEX_H
#define FX_IO_VERTEX_H

#include <cstddef>
#include <cstdint>

// One mesh vertex; stored in files with exactly this layout, little-endian.
struct tagFXVertex {
    float position[3];
    float normal[3];
    float texCoord[2];
    float colour[4]; // used when the mesh's colourMode is 1
    float normalSum[3];
    int32_t tag;         // scratch mark of the geometry operations and the reduction
    int32_t reserved[3]; // source indices of a corner during the OBJ import
};

static_assert(sizeof(float) == 4, "vertex records hold 32-bit floats");
static_assert(sizeof(tagFXVertex) == 76, "tagFXVertex is a 76-byte record");
static_assert(offsetof(tagFXVertex, position) == 0, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, normal) == 12, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, texCoord) == 24, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, colour) == 32, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, normalSum) == 48, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, tag) == 60, "tagFXVertex layout");
static_assert(offsetof(tagFXVertex, reserved) == 64, "tagFXVertex layout");

#define FXVERTEX_SIZE 76

#endif
