// fxcontent: the drawing surface, noise and picture files.

#include <cmath>
#include <cstring>

#include "fxcontent.h"
#include "render/canvas.h"
#include "render/font.h"

float fxContentClamp01(float x) {
    return x < 0.0f ? 0.0f : (x > 1.0f ? 1.0f : x);
}

float fxContentSmooth(float e0, float e1, float x) {
    float t = fxContentClamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

float FXContentRandom::Next() {
    // xorshift32: fixed arithmetic, so every build draws the same numbers.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return (float)(state >> 8) / 16777216.0f;
}

static uint32_t localHash(int x, int y, int z, uint32_t seed) {
    uint32_t h = seed * 0x27d4eb2du;
    h ^= (uint32_t)x * 0x85ebca6bu;
    h = (h << 13) | (h >> 19);
    h ^= (uint32_t)y * 0xc2b2ae35u;
    h = (h << 11) | (h >> 21);
    h ^= (uint32_t)z * 0x165667b1u;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

static float localLattice(int x, int y, int z, uint32_t seed) {
    return (float)(localHash(x, y, z, seed) >> 8) / 16777215.0f;
}

float fxContentNoise(float x, float y, float z, uint32_t seed) {
    float fx = floorf(x), fy = floorf(y), fz = floorf(z);
    int ix = (int)fx, iy = (int)fy, iz = (int)fz;
    float tx = x - fx, ty = y - fy, tz = z - fz;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    tz = tz * tz * (3.0f - 2.0f * tz);
    float c[2][2];
    for (int dz = 0; dz < 2; dz++) {
        for (int dy = 0; dy < 2; dy++) {
            float a = localLattice(ix, iy + dy, iz + dz, seed);
            float b = localLattice(ix + 1, iy + dy, iz + dz, seed);
            c[dz][dy] = a + (b - a) * tx;
        }
    }
    float near = c[0][0] + (c[0][1] - c[0][0]) * ty;
    float far = c[1][0] + (c[1][1] - c[1][0]) * ty;
    return near + (far - near) * tz;
}

float fxContentFbm(float x, float y, float z, int octaves, uint32_t seed) {
    float sum = 0.0f, amplitude = 0.5f, total = 0.0f;
    for (int i = 0; i < octaves; i++) {
        sum += amplitude * fxContentNoise(x, y, z, seed + (uint32_t)i * 101u);
        total += amplitude;
        amplitude *= 0.5f;
        x *= 2.0f;
        y *= 2.0f;
        z *= 2.0f;
    }
    return total > 0.0f ? sum / total : 0.0f;
}

void FXContentPicture::Create(int w, int h) {
    width = w;
    height = h;
    rgba.assign((size_t)w * (size_t)h * 4, 0.0f);
}

void FXContentPicture::Blend(int x, int y, const float* c, float a) {
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0.0f) {
        return;
    }
    a = fxContentClamp01(a);
    float* p = At(x, y);
    // "Over" on straight alpha: the colour is weighted by how much each layer shows.
    float outA = a + p[3] * (1.0f - a);
    if (outA <= 0.0f) {
        return;
    }
    for (int i = 0; i < 3; i++) {
        p[i] = (c[i] * a + p[i] * p[3] * (1.0f - a)) / outA;
    }
    p[3] = outA;
}

void FXContentPicture::AddGlow(int x, int y, const float* c, float a) {
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0.0f) {
        return;
    }
    float* p = At(x, y);
    for (int i = 0; i < 3; i++) {
        // Light added to a transparent pixel takes that light's colour.
        float base = p[3] > 0.0f ? p[i] * p[3] : 0.0f;
        float sum = base + c[i] * a;
        float alpha = fxContentClamp01(p[3] + a);
        p[i] = alpha > 0.0f ? fxContentClamp01(sum / alpha) : 0.0f;
    }
    p[3] = fxContentClamp01(p[3] + a);
}

void FXContentPicture::Spot(float cx, float cy, float r, const float* c, float a, bool wrapX) {
    int reach = (int)ceilf(r * 2.5f);
    int x0 = (int)floorf(cx) - reach, x1 = (int)floorf(cx) + reach;
    int y0 = (int)floorf(cy) - reach, y1 = (int)floorf(cy) + reach;
    for (int y = y0; y <= y1; y++) {
        if (y < 0 || y >= height) {
            continue;
        }
        for (int x = x0; x <= x1; x++) {
            int px = x;
            if (wrapX) {
                px = ((x % width) + width) % width;
            }
            float dx = ((float)x + 0.5f - cx) / r, dy = ((float)y + 0.5f - cy) / r;
            float f = expf(-(dx * dx + dy * dy));
            if (f > 0.002f) {
                AddGlow(px, y, c, a * f);
            }
        }
    }
}

void FXContentPicture::Sample(float u, float v, float* out) const {
    if (width <= 0 || height <= 0) {
        out[0] = out[1] = out[2] = out[3] = 0.0f;
        return;
    }
    float x = u * (float)width - 0.5f;
    float y = fminf(fmaxf(v * (float)height - 0.5f, 0.0f), (float)(height - 1));
    float fx = floorf(x), fy = floorf(y);
    float tx = x - fx, ty = y - fy;
    int x0 = (((int)fx % width) + width) % width;
    int x1 = (x0 + 1) % width;
    int y0 = (int)fy;
    int y1 = y0 + 1 < height ? y0 + 1 : y0;
    const float* a = At(x0, y0);
    const float* b = At(x1, y0);
    const float* c = At(x0, y1);
    const float* d = At(x1, y1);
    for (int i = 0; i < 4; i++) {
        float top = a[i] + (b[i] - a[i]) * tx;
        float bottom = c[i] + (d[i] - c[i]) * tx;
        out[i] = top + (bottom - top) * ty;
    }
}

void FXContentPicture::Shrink(int factor) {
    if (factor <= 1 || width < factor || height < factor) {
        return;
    }
    int w = width / factor, h = height / factor;
    std::vector<float> out((size_t)w * (size_t)h * 4, 0.0f);
    const float share = 1.0f / (float)(factor * factor);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            float* o = &out[((size_t)y * (size_t)w + (size_t)x) * 4];
            for (int sy = 0; sy < factor; sy++) {
                for (int sx = 0; sx < factor; sx++) {
                    const float* p = At(x * factor + sx, y * factor + sy);
                    for (int i = 0; i < 4; i++) {
                        o[i] += p[i] * share;
                    }
                }
            }
        }
    }
    width = w;
    height = h;
    rgba.swap(out);
}

int FXContentPicture::TextWidth(const char* text, int pixelHeight, bool bold) {
    FXFontGDI font;
    if (!fxCreateFont("DejaVu Sans", pixelHeight, bold, &font)) {
        return 0;
    }
    int w = 0, h = 0;
    bool ok = FXCanvas::GetTextSize(text, &font, &w, &h);
    fxDestroyFont(&font);
    return ok ? w : 0;
}

bool FXContentPicture::DrawText(const char* text, int pixelHeight, bool bold, float cx, float top, const float* colour,
                                float glowRadius) {
    FXFontGDI font;
    if (!fxCreateFont("DejaVu Sans", pixelHeight, bold, &font)) {
        fxcontentError("no font for the text '%s'", text);
        return false;
    }
    FXCanvas canvas;
    float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    bool ok = canvas.CreateFromText(text, &font, white);
    fxDestroyFont(&font);
    if (!ok) {
        fxcontentError("cannot draw the text '%s'", text);
        return false;
    }
    const FXPixmap& pm = canvas.pixmap;
    int left = (int)lroundf(cx - (float)pm.width * 0.5f);
    int y0 = (int)lroundf(top);
    if (glowRadius > 0.0f) {
        // The glow is the text's coverage spread out, so it follows the letters.
        for (int y = 0; y < pm.height; y += 2) {
            for (int x = 0; x < pm.width; x += 2) {
                float cov = (float)(pm.pixels[(size_t)y * (size_t)pm.allocWidth + (size_t)x] >> 24) / 255.0f;
                if (cov > 0.5f) {
                    Spot((float)(left + x) + 0.5f, (float)(y0 + y) + 0.5f, glowRadius, colour, 0.05f, false);
                }
            }
        }
    }
    for (int y = 0; y < pm.height; y++) {
        for (int x = 0; x < pm.width; x++) {
            float cov = (float)(pm.pixels[(size_t)y * (size_t)pm.allocWidth + (size_t)x] >> 24) / 255.0f;
            Blend(left + x, y0 + y, colour, cov * colour[3]);
        }
    }
    return true;
}

bool FXContentPicture::Load(const char* path) {
    FXCanvas canvas;
    if (!canvas.CreateFromPict(path)) {
        fxcontentError("cannot read the picture %s", path);
        return false;
    }
    const FXPixmap& pm = canvas.pixmap;
    Create(pm.width, pm.height);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            uint32_t v = pm.pixels[(size_t)y * (size_t)pm.allocWidth + (size_t)x];
            float* p = At(x, y);
            p[0] = (float)(v & 0xFF) / 255.0f;
            p[1] = (float)((v >> 8) & 0xFF) / 255.0f;
            p[2] = (float)((v >> 16) & 0xFF) / 255.0f;
            p[3] = (float)(v >> 24) / 255.0f;
        }
    }
    return true;
}

static uint32_t localByte(float v) {
    return (uint32_t)lroundf(fxContentClamp01(v) * 255.0f);
}

bool FXContentPicture::Save(const char* path) const {
    FXCanvas canvas;
    if (width <= 0 || height <= 0 || !canvas.pixmap.Realloc(width, height)) {
        fxcontentError("no pixels for %s", path);
        return false;
    }
    canvas.pixmap.Clear(0);
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            const float* p = At(x, y);
            canvas.pixmap.pixels[(size_t)y * (size_t)canvas.pixmap.allocWidth + (size_t)x] =
                localByte(p[0]) | localByte(p[1]) << 8 | localByte(p[2]) << 16 | localByte(p[3]) << 24;
        }
    }
    size_t n = strlen(path);
    bool png = n > 4 && strcmp(path + n - 4, ".png") == 0;
    FXCanvas::SetJpegQuality(90);
    bool ok = png ? canvas.SaveToPict2(path, 0, 0, width, height) : canvas.SaveToPict(path);
    if (!ok) {
        fxcontentError("cannot write the picture %s", path);
    }
    return ok;
}
