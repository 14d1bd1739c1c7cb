#ifndef FX_RENDER_CLEARMAP_H
#define FX_RENDER_CLEARMAP_H

#include <cstdint>
#include <vector>

class FXPixmap;
struct tagFXVertex;

// Where a texture is wholly see-through. The device uses it to leave out triangles that could
// only ever sample texels of alpha 0: the alpha test discards every fragment of such a triangle,
// so drawing it changes no pixel but costs the rasterizer the whole area.
class FXClearMap {
public:
    int32_t width, height; // texels of mipmap level 0
    int32_t levels;        // mipmap levels the texture has; 1 without mipmaps
    int32_t cols, rows;    // cells of FX_CLEARMAP_CELL x FX_CLEARMAP_CELL texels
    // Summed counts of cells holding a texel with alpha above 0, (cols + 1) x (rows + 1).
    std::vector<uint32_t> sums;

    FXClearMap();
    // Takes the allocation of p as the texture; false (and an empty map) when no cell is clear,
    // so that the caller need not keep one.
    bool Build(const FXPixmap* p, bool mipmaps);
    // Whether every texel in [x0, x1) x [y0, y1) has alpha 0; the rectangle is clamped to the texture.
    bool IsClear(int64_t x0, int64_t y0, int64_t x1, int64_t y1) const;
    // Whether a triangle with these texture coordinates, at these window positions (pixels),
    // samples only clear texels at every mipmap level its size on screen can select.
    bool TriangleIsClear(const float* const uv[3], const float* const xy[3]) const;
};

#define FX_CLEARMAP_CELL 4

// Writes to out the indices of the whole triangles of a list that can show a texel of map, when
// drawn through the column-major matrix m onto a viewport of vw x vh pixels whose drawing area
// is [-1, 1] on both axes; answers how many indices it wrote, or -1 when the matrix is not
// affine. cull 1 also leaves out triangles turning their back (clockwise on screen), -1 those
// turning their front, 0 none. xy is scratch for two floats per vertex.
int fxSelectShownTriangles(const FXClearMap* map, const tagFXVertex* vertices, int vertexCount, const int* indices,
                           int indexCount, const float* m, int vw, int vh, int cull, float* xy, int* out);

#endif
