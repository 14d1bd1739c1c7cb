#include "render/clearmap.h"

#include <cmath>

#include "base/arrays.h"
#include "io/vertex.h"
#include "render/pixmap.h"

FXClearMap::FXClearMap() : width(0), height(0), levels(0), cols(0), rows(0) {}

bool FXClearMap::Build(const FXPixmap* p, bool mipmaps) {
    width = height = levels = cols = rows = 0;
    sums.clear();
    if (p == nullptr || p->pixels == nullptr || p->allocWidth < 1 || p->allocHeight < 1) {
        return false;
    }
    // Each mipmap level is made from 2 x 2 blocks of the one before only for power-of-two
    // sides; other sizes are rescaled first and their texels no longer map to blocks.
    if (mipmaps && (!fxIsPower2(p->allocWidth) || !fxIsPower2(p->allocHeight))) {
        return false;
    }
    const int w = p->allocWidth, h = p->allocHeight;
    const int c = (w + FX_CLEARMAP_CELL - 1) / FX_CLEARMAP_CELL, r = (h + FX_CLEARMAP_CELL - 1) / FX_CLEARMAP_CELL;
    std::vector<uint8_t> shown((size_t)c * (size_t)r, 0);
    const uint8_t* bytes = (const uint8_t*)p->pixels;
    for (int y = 0; y < h; y++) {
        const uint8_t* row = bytes + (size_t)y * (size_t)w * 4;
        uint8_t* cells = shown.data() + (size_t)(y / FX_CLEARMAP_CELL) * (size_t)c;
        for (int x = 0; x < w; x++) {
            cells[x / FX_CLEARMAP_CELL] |= row[x * 4 + 3] != 0;
        }
    }
    bool anyClear = false;
    for (uint8_t s : shown) {
        anyClear = anyClear || s == 0;
    }
    if (!anyClear) {
        return false;
    }
    sums.assign((size_t)(c + 1) * (size_t)(r + 1), 0);
    for (int y = 0; y < r; y++) {
        uint32_t line = 0;
        for (int x = 0; x < c; x++) {
            line += shown[(size_t)y * c + x];
            sums[(size_t)(y + 1) * (c + 1) + x + 1] = sums[(size_t)y * (c + 1) + x + 1] + line;
        }
    }
    width = w;
    height = h;
    cols = c;
    rows = r;
    levels = 1;
    for (int lw = w, lh = h; mipmaps && (lw > 1 || lh > 1); lw = lw > 1 ? lw / 2 : 1, lh = lh > 1 ? lh / 2 : 1) {
        levels++;
    }
    return true;
}

static int64_t localClamp(int64_t v, int64_t lo, int64_t hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

bool FXClearMap::IsClear(int64_t x0, int64_t y0, int64_t x1, int64_t y1) const {
    if (sums.empty()) {
        return false;
    }
    // Coordinates beyond the edges read the edge texels.
    x0 = localClamp(x0, 0, width - 1);
    y0 = localClamp(y0, 0, height - 1);
    x1 = localClamp(x1, x0 + 1, width);
    y1 = localClamp(y1, y0 + 1, height);
    const int64_t c0 = x0 / FX_CLEARMAP_CELL, r0 = y0 / FX_CLEARMAP_CELL;
    const int64_t c1 = (x1 + FX_CLEARMAP_CELL - 1) / FX_CLEARMAP_CELL,
                  r1 = (y1 + FX_CLEARMAP_CELL - 1) / FX_CLEARMAP_CELL;
    const int64_t stride = cols + 1;
    const uint32_t shown =
        sums[r1 * stride + c1] - sums[r0 * stride + c1] - sums[r1 * stride + c0] + sums[r0 * stride + c0];
    return shown == 0;
}

bool FXClearMap::TriangleIsClear(const float* const uv[3], const float* const xy[3]) const {
    if (sums.empty()) {
        return false;
    }
    double tu[3], tv[3];
    for (int k = 0; k < 3; k++) {
        tu[k] = (double)uv[k][0] * width;
        tv[k] = (double)uv[k][1] * height;
        if (!std::isfinite(tu[k]) || !std::isfinite(tv[k]) || !std::isfinite(xy[k][0]) || !std::isfinite(xy[k][1])) {
            return false;
        }
    }
    // The texel steps per pixel are constant over a triangle drawn without perspective; the
    // driver picks its mipmap level from them.
    const double e1x = xy[1][0] - xy[0][0], e1y = xy[1][1] - xy[0][1];
    const double e2x = xy[2][0] - xy[0][0], e2y = xy[2][1] - xy[0][1];
    const double det = e1x * e2y - e1y * e2x;
    if (!(std::fabs(det) > 1e-9)) {
        return false;
    }
    const double f1u = tu[1] - tu[0], f1v = tv[1] - tv[0], f2u = tu[2] - tu[0], f2v = tv[2] - tv[0];
    const double dudx = (f1u * e2y - f2u * e1y) / det, dvdx = (f1v * e2y - f2v * e1y) / det;
    const double dudy = (f2u * e1x - f1u * e2x) / det, dvdy = (f2v * e1x - f1v * e2x) / det;
    const double rx = dudx * dudx + dvdx * dvdx, ry = dudy * dudy + dvdy * dvdy;
    const double rho2 = rx > ry ? rx : ry;
    if (!std::isfinite(rho2)) {
        return false;
    }
    // Level floor(log2 rho) + 1 is the coarsest a trilinear sample reads; one more covers a
    // driver whose rho is up to twice the exact one.
    int level = 0;
    for (double limit = 0.25; level < levels - 1 && rho2 >= limit; limit *= 4.0) {
        level++;
    }
    const int64_t levelW = width >> level > 0 ? width >> level : 1, levelH = height >> level > 0 ? height >> level : 1;
    const double bx = (double)(width / levelW), by = (double)(height / levelH);
    double u0 = tu[0], u1 = tu[0], v0 = tv[0], v1 = tv[0];
    for (int k = 1; k < 3; k++) {
        u0 = tu[k] < u0 ? tu[k] : u0;
        u1 = tu[k] > u1 ? tu[k] : u1;
        v0 = tv[k] < v0 ? tv[k] : v0;
        v1 = tv[k] > v1 ? tv[k] : v1;
    }
    if (u1 - u0 > 1e9 || v1 - v0 > 1e9 || std::fabs(u0) > 1e9 || std::fabs(v0) > 1e9) {
        return false;
    }
    // A bilinear sample reads texels floor(t - 0.5) and the next; one more on each side for
    // the rounding of the interpolated coordinates.
    const int64_t i0 = (int64_t)std::floor(u0 / bx - 0.5) - 1, i1 = (int64_t)std::floor(u1 / bx - 0.5) + 2;
    const int64_t j0 = (int64_t)std::floor(v0 / by - 0.5) - 1, j1 = (int64_t)std::floor(v1 / by - 0.5) + 2;
    const int64_t sx = (int64_t)bx, sy = (int64_t)by;
    return IsClear(i0 * sx, j0 * sy, (i1 + 1) * sx, (j1 + 1) * sy);
}

int fxSelectShownTriangles(const FXClearMap* map, const tagFXVertex* vertices, int vertexCount, const int* indices,
                           int indexCount, const float* m, int vw, int vh, int cull, float* xy, int* out) {
    // Only an affine matrix keeps the texel steps constant over a triangle.
    if (map == nullptr || map->sums.empty() || m[3] != 0.0f || m[7] != 0.0f || m[11] != 0.0f || m[15] != 1.0f) {
        return -1;
    }
    const float hw = 0.5f * (float)vw, hh = 0.5f * (float)vh;
    for (int i = 0; i < vertexCount; i++) {
        const float* p = vertices[i].position;
        xy[i * 2] = (m[0] * p[0] + m[4] * p[1] + m[8] * p[2] + m[12] + 1.0f) * hw;
        xy[i * 2 + 1] = (m[1] * p[0] + m[5] * p[1] + m[9] * p[2] + m[13] + 1.0f) * hh;
    }
    int n = 0;
    for (int t = 0; t + 2 < indexCount; t += 3) {
        const int* k = indices + t;
        const float* uv[3] = {vertices[k[0]].texCoord, vertices[k[1]].texCoord, vertices[k[2]].texCoord};
        const float* at[3] = {xy + k[0] * 2, xy + k[1] * 2, xy + k[2] * 2};
        if (cull != 0) {
            // Twice the signed area in window coordinates: positive when counter-clockwise.
            const float area =
                (at[1][0] - at[0][0]) * (at[2][1] - at[0][1]) - (at[1][1] - at[0][1]) * (at[2][0] - at[0][0]);
            if ((float)cull * area < -1e-3f) {
                continue; // the driver would cull it; near zero the driver's own sum decides
            }
        }
        if (!map->TriangleIsClear(uv, at)) {
            out[n++] = k[0];
            out[n++] = k[1];
            out[n++] = k[2];
        }
    }
    return n;
}
