// fxcontent: the pictures of the package and the textures of its models.

#include <cmath>
#include <string>
#include <vector>

#include "io/package.h"
#include "fxcontent.h"

static const float localPi = 3.14159265358979f;

// The unit vector of an equirectangular texel centre, as the globe's meshes place it.
static void localTexelDirection(const FXContentPicture& pic, int x, int y, float* p) {
    fxContentSpherePoint(((float)x + 0.5f) / (float)pic.width, ((float)y + 0.5f) / (float)pic.height, p);
}

static void localSetPixel(FXContentPicture* pic, int x, int y, float r, float g, float b, float a) {
    float* p = pic->At(x, y);
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = a;
}

std::string fxContentSave(const tagContentJob* job, const FXContentPicture& pic, const std::string& name) {
    std::string path = job->work + "/" + name;
    if (!pic.Save(path.c_str())) {
        return std::string();
    }
    if (!job->keepFolder.empty()) {
        std::string stem = name.substr(0, name.find_last_of('.'));
        std::string keep = job->keepFolder + "/" + std::to_string(job->id) + "-" + stem + ".png";
        if (!pic.Save(keep.c_str())) {
            return std::string();
        }
    }
    return path;
}

// ---------------------------------------------------------------------------------------------
// Globe textures

bool fxContentEarthDay(const tagContentJob* job, FXContentPicture* out) {
    if (!out->Load(job->earthPicture.c_str())) {
        return false;
    }
    // The source is dark in the oceans; lift the shadows a little and warm the land so the
    // emissive globe does not look flat.
    for (size_t i = 0; i + 3 < out->rgba.size(); i += 4) {
        for (int c = 0; c < 3; c++) {
            out->rgba[i + c] = powf(fxContentClamp01(out->rgba[i + c]), 0.8f);
        }
        out->rgba[i + 3] = 1.0f;
    }
    return true;
}

// Box blur of a w x h plane, radius r, wrapping across the left and right edges.
static void localBlur(std::vector<float>* plane, int w, int h, int r) {
    std::vector<float> tmp(plane->size());
    const float share = 1.0f / (float)(2 * r + 1);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            float sum = 0.0f;
            for (int k = -r; k <= r; k++) {
                sum += (*plane)[(size_t)y * (size_t)w + (size_t)(((x + k) % w + w) % w)];
            }
            tmp[(size_t)y * (size_t)w + (size_t)x] = sum * share;
        }
    }
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            float sum = 0.0f;
            for (int k = -r; k <= r; k++) {
                int yy = y + k < 0 ? 0 : (y + k >= h ? h - 1 : y + k);
                sum += tmp[(size_t)yy * (size_t)w + (size_t)x];
            }
            (*plane)[(size_t)y * (size_t)w + (size_t)x] = sum * share;
        }
    }
}

bool fxContentEarthNight(const tagContentJob* job, FXContentPicture* out) {
    if (!out->Load(job->nightPicture.c_str())) {
        return false;
    }
    if (out->width >= 2048) {
        out->Shrink(2);
    }
    const size_t n = (size_t)out->width * (size_t)out->height;
    std::vector<float> lum(n), halo(n);
    for (size_t i = 0; i < n; i++) {
        const float* p = &out->rgba[i * 4];
        lum[i] = fmaxf(p[0], fmaxf(p[1], p[2]));
    }
    // The cities are single texels; a soft halo keeps them visible on a globe a few hundred
    // pixels across.
    halo = lum;
    localBlur(&halo, out->width, out->height, 2);
    localBlur(&halo, out->width, out->height, 2);
    for (size_t i = 0; i < n; i++) {
        float* p = &out->rgba[i * 4];
        float core = fxContentSmooth(0.04f, 0.4f, lum[i]);
        float glow = fxContentSmooth(0.01f, 0.15f, halo[i]);
        float hot = fxContentSmooth(0.4f, 0.9f, lum[i]);
        p[0] = 1.0f;
        p[1] = 0.72f + 0.25f * hot;
        p[2] = 0.38f + 0.5f * hot;
        p[3] = fxContentClamp01(core + 0.55f * glow);
    }
    return true;
}

void fxContentClouds(FXContentPicture* out) {
    out->Create(1024, 512);
    float p[3];
    for (int y = 0; y < out->height; y++) {
        for (int x = 0; x < out->width; x++) {
            localTexelDirection(*out, x, y, p);
            // Noise on the sphere itself, so nothing pinches at the poles or tears at the seam;
            // a warped second lookup gives the fronts their swirl.
            float w = fxContentFbm(p[0] * 1.6f, p[1] * 1.6f, p[2] * 1.6f, 4, 7u);
            float n = fxContentFbm(p[0] * 3.0f + w * 1.8f, p[1] * 3.0f - w * 1.2f, p[2] * 5.0f, 6, 14u);
            float a = fxContentSmooth(0.44f, 0.66f, n);
            float shade = 0.82f + 0.18f * fxContentSmooth(0.5f, 0.8f, n);
            localSetPixel(out, x, y, shade, shade, fminf(1.0f, shade + 0.05f), a * 0.92f);
        }
    }
}

// Angular distance in degrees from a texel to the nearest grid line of the given spacing.
static float localGridDistance(float deg, float spacing) {
    float m = fmodf(deg + 720.0f, spacing);
    return fminf(m, spacing - m);
}

void fxContentGraticule(FXContentPicture* out) {
    out->Create(1024, 512);
    const float colour[4] = {0.35f, 0.9f, 1.0f, 1.0f};
    for (int y = 0; y < out->height; y++) {
        float lat = 90.0f - ((float)y + 0.5f) / (float)out->height * 180.0f;
        float shrink = fmaxf(cosf(lat * localPi / 180.0f), 0.02f);
        for (int x = 0; x < out->width; x++) {
            float lon = ((float)x + 0.5f) / (float)out->width * 360.0f - 180.0f;
            // Meridian distances shrink towards the poles; measuring on the ground keeps the
            // lines equally thin all over the globe.
            float dMajor = fminf(localGridDistance(lon, 15.0f) * shrink, localGridDistance(lat, 15.0f));
            float dMinor = fminf(localGridDistance(lon, 5.0f) * shrink, localGridDistance(lat, 5.0f));
            float a = 0.42f * expf(-(dMajor * dMajor) / (0.3f * 0.3f)) + 0.08f * expf(-(dMinor * dMinor) / 0.04f);
            if (fabsf(lat) < 0.6f) {
                a = fmaxf(a, 0.6f * expf(-(lat * lat) / 0.12f));
            }
            localSetPixel(out, x, y, colour[0], colour[1], colour[2], fxContentClamp01(a));
        }
    }
    // Nodes where the major lines cross, away from the crowded poles.
    const float node[4] = {0.8f, 1.0f, 1.0f, 1.0f};
    for (int lat = -75; lat <= 75; lat += 15) {
        for (int lon = -180; lon < 180; lon += 15) {
            float cx = ((float)lon + 180.0f) / 360.0f * (float)out->width;
            float cy = (90.0f - (float)lat) / 180.0f * (float)out->height;
            out->Spot(cx, cy, 1.6f, node, 0.7f, true);
        }
    }
}

void fxContentOrbits(FXContentPicture* out) {
    out->Create(1024, 512);
    const int orbits = 7;
    float normals[orbits][3], axisA[orbits][3], axisB[orbits][3];
    FXContentRandom rnd(18u);
    for (int k = 0; k < orbits; k++) {
        // A random plane through the centre, with two axes spanning it for the dash phase.
        float z = rnd.Next() * 2.0f - 1.0f, t = rnd.Next() * 2.0f * localPi;
        float r = sqrtf(fmaxf(0.0f, 1.0f - z * z));
        float* n = normals[k];
        n[0] = r * cosf(t);
        n[1] = r * sinf(t);
        n[2] = z;
        float* a = axisA[k];
        float* b = axisB[k];
        float helper[3] = {fabsf(n[0]) < 0.9f ? 1.0f : 0.0f, fabsf(n[0]) < 0.9f ? 0.0f : 1.0f, 0.0f};
        a[0] = n[1] * helper[2] - n[2] * helper[1];
        a[1] = n[2] * helper[0] - n[0] * helper[2];
        a[2] = n[0] * helper[1] - n[1] * helper[0];
        float la = sqrtf(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        for (int i = 0; i < 3; i++) {
            a[i] /= la;
        }
        b[0] = n[1] * a[2] - n[2] * a[1];
        b[1] = n[2] * a[0] - n[0] * a[2];
        b[2] = n[0] * a[1] - n[1] * a[0];
    }
    float p[3];
    for (int y = 0; y < out->height; y++) {
        // The tracks are measured on the sphere, so they keep their width up to the poles.
        const float width = 0.006f;
        for (int x = 0; x < out->width; x++) {
            localTexelDirection(*out, x, y, p);
            float best = 0.0f;
            for (int k = 0; k < orbits; k++) {
                float d = p[0] * normals[k][0] + p[1] * normals[k][1] + p[2] * normals[k][2];
                float on = expf(-(d * d) / (width * width));
                if (on < 0.01f) {
                    continue;
                }
                float phase = atan2f(p[0] * axisB[k][0] + p[1] * axisB[k][1] + p[2] * axisB[k][2],
                                     p[0] * axisA[k][0] + p[1] * axisA[k][1] + p[2] * axisA[k][2]);
                float dash = fmodf((phase + localPi) / (2.0f * localPi) * (float)(48 + 8 * k), 1.0f);
                float a = on * (dash < 0.55f ? 0.85f : 0.15f);
                best = fmaxf(best, a);
            }
            localSetPixel(out, x, y, 1.0f, 0.72f, 0.32f, best);
        }
    }
    // Satellites: a few bright points riding the tracks.
    const float glint[4] = {1.0f, 0.92f, 0.7f, 1.0f};
    for (int k = 0; k < orbits; k++) {
        for (int s = 0; s < 3; s++) {
            float t = rnd.Next() * 2.0f * localPi;
            float q[3];
            for (int i = 0; i < 3; i++) {
                q[i] = cosf(t) * axisA[k][i] + sinf(t) * axisB[k][i];
            }
            float lat = -asinf(fmaxf(-1.0f, fminf(1.0f, q[2])));
            float lon = atan2f(q[0], -q[1]);
            float cx = (lon + localPi) / (2.0f * localPi) * (float)out->width;
            float cy = (localPi * 0.5f - lat) / localPi * (float)out->height;
            out->Spot(cx, cy, 2.2f, glint, 1.0f, true);
        }
    }
}

void fxContentHaze(FXContentPicture* out) {
    out->Create(256, 128);
    float p[3];
    for (int y = 0; y < out->height; y++) {
        for (int x = 0; x < out->width; x++) {
            localTexelDirection(*out, x, y, p);
            float n = fxContentFbm(p[0] * 2.5f, p[1] * 2.5f, p[2] * 2.5f, 4, 20u);
            localSetPixel(out, x, y, 0.45f, 0.7f, 1.0f, 0.12f + 0.16f * n);
        }
    }
}

void fxContentStrand(FXContentPicture* out) {
    // Across the strand (v) a bright core fading out; along it (u) all the same.
    out->Create(8, 32);
    for (int y = 0; y < out->height; y++) {
        float d = (((float)y + 0.5f) / (float)out->height - 0.5f) * 2.0f;
        float glow = expf(-d * d * 6.0f);
        float core = expf(-d * d * 60.0f);
        for (int x = 0; x < out->width; x++) {
            localSetPixel(out, x, y, 0.55f + 0.45f * core, 1.0f, 0.85f + 0.15f * core,
                          fxContentClamp01(glow * 0.4f + core * 0.8f));
        }
    }
}

void fxContentNode(FXContentPicture* out) {
    out->Create(32, 32);
    for (int y = 0; y < out->height; y++) {
        for (int x = 0; x < out->width; x++) {
            float dx = ((float)x + 0.5f) / 16.0f - 1.0f, dy = ((float)y + 0.5f) / 16.0f - 1.0f;
            float r2 = dx * dx + dy * dy;
            float a = expf(-r2 * 7.0f) + 0.8f * expf(-r2 * 60.0f);
            localSetPixel(out, x, y, 0.75f, 1.0f, 0.9f, r2 < 1.0f ? fxContentClamp01(a) : 0.0f);
        }
    }
}

bool fxContentEmblem(FXContentPicture* out) {
    out->Create(256, 256);
    const float gold[3] = {1.0f, 0.8f, 0.38f};
    for (int y = 0; y < out->height; y++) {
        for (int x = 0; x < out->width; x++) {
            float dx = ((float)x + 0.5f) / 128.0f - 1.0f, dy = ((float)y + 0.5f) / 128.0f - 1.0f;
            float r = sqrtf(dx * dx + dy * dy);
            // Enamel: deep blue, lighter towards the upper left.
            float lift = 0.5f - 0.25f * (dx + dy);
            float c[3] = {0.04f + 0.08f * lift, 0.12f + 0.14f * lift, 0.3f + 0.22f * lift};
            // Globe lines: a circle, its equator and two meridian ellipses.
            float line = 0.0f;
            float g = 0.62f;
            line = fmaxf(line, expf(-powf((r - g) / 0.012f, 2.0f)));
            line = fmaxf(line, fabsf(dy) < 0.01f && r < g ? 1.0f : 0.0f);
            for (int k = 1; k <= 2; k++) {
                float ex = g * 0.35f * (float)k;
                float e = sqrtf((dx / ex) * (dx / ex) + (dy / g) * (dy / g));
                line = fmaxf(line, expf(-powf((e - 1.0f) * ex / 0.012f, 2.0f)));
            }
            line *= 0.6f;
            // Rim: two gold rings.
            float rim = fmaxf(fxContentSmooth(0.86f, 0.9f, r) * (1.0f - fxContentSmooth(0.96f, 1.0f, r)),
                              expf(-powf((r - 0.8f) / 0.01f, 2.0f)));
            for (int i = 0; i < 3; i++) {
                float v = c[i] + (gold[i] - c[i]) * fmaxf(line, rim);
                out->At(x, y)[i] = v;
            }
            out->At(x, y)[3] = 1.0f;
        }
    }
    const float letter[4] = {1.0f, 0.86f, 0.45f, 1.0f};
    return out->DrawText("V", 120, true, 128.0f, 52.0f, letter, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Pictures of the package

// Stars and a faint nebula, as the backdrop and the preview share them.
static void localSky(FXContentPicture* pic, uint32_t seed) {
    for (int y = 0; y < pic->height; y++) {
        for (int x = 0; x < pic->width; x++) {
            float u = (float)x / (float)pic->width * 4.0f, v = (float)y / (float)pic->height * 2.0f;
            // A warped lookup draws the nebula out into wisps.
            float w = fxContentFbm(u * 0.7f, v * 0.7f, 2.5f, 4, seed + 9u);
            float n = fxContentFbm(u + 1.6f * w, v + 0.8f * w, 0.5f, 6, seed);
            float m = fxContentFbm(u * 1.7f + 3.0f, v * 1.7f, 1.5f, 4, seed + 5u);
            float glow = fxContentSmooth(0.46f, 0.68f, n);
            float tint = fxContentSmooth(0.3f, 0.7f, m);
            float* p = pic->At(x, y);
            p[0] = 0.01f + glow * (0.16f + 0.2f * tint);
            p[1] = 0.015f + glow * (0.06f + 0.1f * (1.0f - tint));
            p[2] = 0.04f + glow * (0.32f - 0.08f * tint);
            p[3] = 1.0f;
        }
    }
    FXContentRandom rnd(seed);
    int stars = pic->width * pic->height / 500;
    for (int i = 0; i < stars; i++) {
        float x = rnd.Next() * (float)pic->width, y = rnd.Next() * (float)pic->height;
        float bright = powf(rnd.Next(), 3.0f);
        float hue = rnd.Next();
        float c[4] = {0.8f + 0.2f * hue, 0.85f, 1.0f - 0.25f * hue, 1.0f};
        pic->Spot(x, y, 0.55f + 1.1f * bright, c, 0.35f + 0.65f * bright, false);
    }
}

// How far a texel of a full-screen overlay lies from the globe's centre, in outlines of a shell
// of the given radius: below 1 inside it.
static float localGlobeDistance(const FXContentPicture& pic, int x, int y, float radius) {
    float u = ((float)x + 0.5f) / (float)pic.width, v = ((float)y + 0.5f) / (float)pic.height;
    float du = (u - FXCONTENT_GLOBE_U) / (FXCONTENT_GLOBE_HALF_U * radius / FXCONTENT_OUTER_RADIUS);
    float dv = (v - FXCONTENT_GLOBE_V) / (FXCONTENT_GLOBE_HALF_V * radius / FXCONTENT_OUTER_RADIUS);
    return sqrtf(du * du + dv * dv);
}

static void localBackdrop(FXContentPicture* pic) {
    pic->Create(1024, 512);
    localSky(pic, 25u);
    for (int y = 0; y < pic->height; y++) {
        for (int x = 0; x < pic->width; x++) {
            float* p = pic->At(x, y);
            // A clear window over the globe, with a soft edge for its outer glow.
            p[3] = fxContentSmooth(1.0f, 1.12f, localGlobeDistance(*pic, x, y, FXCONTENT_OUTER_RADIUS));
            float u = ((float)x + 0.5f) / (float)pic->width - 0.5f, v = ((float)y + 0.5f) / (float)pic->height - 0.5f;
            float vignette = 1.0f - 0.6f * fxContentSmooth(0.25f, 0.75f, u * u + v * v);
            for (int c = 0; c < 3; c++) {
                p[c] *= vignette;
            }
        }
    }
}

static void localLens(FXContentPicture* pic) {
    pic->Create(1024, 512);
    // A thin rim of light on the globe's sunward edge (the key light comes from the upper right).
    const float rim[4] = {0.55f, 0.8f, 1.0f, 1.0f};
    for (int y = 0; y < pic->height; y++) {
        for (int x = 0; x < pic->width; x++) {
            float d = localGlobeDistance(*pic, x, y, FXCONTENT_EARTH_RADIUS * 1.01f);
            float u = ((float)x + 0.5f) / (float)pic->width - FXCONTENT_GLOBE_U;
            float v = FXCONTENT_GLOBE_V - ((float)y + 0.5f) / (float)pic->height;
            float towards = fxContentClamp01((u + v) / sqrtf(u * u + v * v + 1e-6f) * 0.7071f);
            float a = expf(-powf((d - 1.0f) / 0.02f, 2.0f)) * (0.05f + 0.45f * towards * towards);
            pic->Blend(x, y, rim, a);
            // The corners darken as through a real lens.
            float cu = ((float)x + 0.5f) / (float)pic->width - 0.5f, cv = ((float)y + 0.5f) / (float)pic->height - 0.5f;
            const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            pic->Blend(x, y, black, 0.45f * fxContentSmooth(0.2f, 0.5f, cu * cu + cv * cv));
        }
    }
    // Ghosts of the light along the line from the upper right through the globe.
    const float ghost[4] = {0.6f, 0.75f, 1.0f, 1.0f};
    const float steps[5] = {0.18f, 0.33f, 0.52f, 0.66f, 0.8f};
    const float sizes[5] = {14.0f, 6.0f, 22.0f, 9.0f, 30.0f};
    for (int i = 0; i < 5; i++) {
        float t = steps[i];
        float gx = (0.95f + (FXCONTENT_GLOBE_U + 0.25f - 0.95f) * t) * (float)pic->width;
        float gy = (0.05f + (FXCONTENT_GLOBE_V - 0.35f - 0.05f) * t) * (float)pic->height;
        pic->Spot(gx, gy, sizes[i], ghost, 0.05f, false);
    }
}

// A rounded panel with the text lines in it, sized to the text.
static bool localCaption(const tagContentJob* job, FXContentPicture* pic) {
    const int size = 18, lineHeight = 26, pad = 14, bar = 6;
    int w = 0;
    for (const std::string& line : job->texts) {
        int tw = FXContentPicture::TextWidth(line.c_str(), size, false);
        if (tw <= 0) {
            fxcontentError("no font for the caption");
            return false;
        }
        w = tw > w ? tw : w;
    }
    int width = w + 2 * pad + bar + 8;
    int height = (int)job->texts.size() * lineHeight + 2 * pad - 6;
    pic->Create(width, height);
    const float panel[4] = {0.05f, 0.07f, 0.1f, 1.0f};
    const float amber[4] = {1.0f, 0.7f, 0.2f, 1.0f};
    const float radius = 8.0f;
    for (int y = 0; y < height; y++) {
        for (int x = 0; x < width; x++) {
            float cx = fminf(fmaxf((float)x + 0.5f, radius), (float)width - radius);
            float cy = fminf(fmaxf((float)y + 0.5f, radius), (float)height - radius);
            float d = sqrtf(((float)x + 0.5f - cx) * ((float)x + 0.5f - cx) +
                            ((float)y + 0.5f - cy) * ((float)y + 0.5f - cy));
            float inside = fxContentClamp01(radius - d + 0.5f);
            pic->Blend(x, y, x < bar + 4 ? amber : panel, inside * (x < bar + 4 ? 1.0f : 0.85f));
        }
    }
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float textCentre = (float)(bar + 4 + pad) + (float)w * 0.5f;
    for (size_t i = 0; i < job->texts.size(); i++) {
        if (!pic->DrawText(job->texts[i].c_str(), size, i == 0, textCentre, (float)(pad - 3 + (int)i * lineHeight),
                           white, 0.0f)) {
            return false;
        }
    }
    return true;
}

// A software view of the globe for the control panel's small window.
static bool localPreview(const tagContentJob* job, FXContentPicture* pic) {
    FXContentPicture day, night, clouds, grid;
    if (!fxContentEarthDay(job, &day) || !fxContentEarthNight(job, &night)) {
        return false;
    }
    fxContentClouds(&clouds);
    fxContentGraticule(&grid);
    pic->Create(512, 384);
    localSky(pic, 1u);
    const float cx = 200.0f, cy = 230.0f, radius = 150.0f;
    const float light[3] = {0.6667f, -0.6667f, 0.3333f}; // towards the light: right, up, behind
    for (int y = 0; y < pic->height; y++) {
        for (int x = 0; x < pic->width; x++) {
            float sx = ((float)x + 0.5f - cx) / radius, sy = ((float)y + 0.5f - cy) / radius;
            float r2 = sx * sx + sy * sy;
            float* p = pic->At(x, y);
            if (r2 >= 1.0f) {
                // Atmosphere: a blue glow that thins out above the surface.
                float h = sqrtf(r2) - 1.0f;
                float a = 0.55f * expf(-h * 18.0f);
                const float blue[4] = {0.35f, 0.6f, 1.0f, 1.0f};
                pic->Blend(x, y, blue, a);
                continue;
            }
            // Viewer looks along +z, so the visible surface has negative z.
            float n[3] = {sx, sy, -sqrtf(1.0f - r2)};
            // Turned a little so Europe and Africa face the viewer, tilted as in the show.
            float tilt = 0.35f;
            float ny = n[1] * cosf(tilt) - n[2] * sinf(tilt);
            float nz = n[1] * sinf(tilt) + n[2] * cosf(tilt);
            float lat = asinf(fmaxf(-1.0f, fminf(1.0f, -ny)));
            float lon = atan2f(n[0], -nz) + 0.25f;
            float u = lon / (2.0f * localPi) + 0.5f, v = 0.5f - lat / localPi;
            float d[4], nl[4], cl[4], gr[4];
            day.Sample(u, v, d);
            night.Sample(u, v, nl);
            clouds.Sample(u + 0.1f, v, cl);
            grid.Sample(u, v, gr);
            float lit = n[0] * light[0] + n[1] * light[1] + n[2] * light[2];
            float sun = fxContentSmooth(-0.15f, 0.35f, lit);
            float base = 0.42f + 0.75f * sun;
            for (int c = 0; c < 3; c++) {
                float s = d[c] * base;
                s = s * (1.0f - cl[3] * 0.8f) + (0.6f + 0.5f * sun) * cl[3] * 0.8f;
                s += nl[c] * nl[3] * (1.0f - sun) * 0.9f;
                s = s * (1.0f - gr[3] * 0.25f) + gr[c] * gr[3] * 0.25f;
                float limb = expf(-(1.0f - r2) * 6.0f) * 0.35f;
                const float blue[3] = {0.35f, 0.6f, 1.0f};
                p[c] = fxContentClamp01(s * (1.0f - limb) + blue[c] * limb);
            }
            p[3] = 1.0f;
        }
    }
    const float title[4] = {0.9f, 0.97f, 1.0f, 1.0f};
    if (!job->texts.empty() && !pic->DrawText(job->texts[0].c_str(), 46, true, 372.0f, 36.0f, title, 0.0f)) {
        return false;
    }
    return true;
}

static bool localLabel(const tagContentJob* job, FXContentPicture* pic) {
    pic->Create(512, 128);
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const float line[4] = {0.6f, 0.85f, 1.0f, 1.0f};
    for (int x = 40; x < 472; x++) {
        float fade = fxContentSmooth(40.0f, 120.0f, (float)x) * (1.0f - fxContentSmooth(392.0f, 472.0f, (float)x));
        pic->Blend(x, 104, line, 0.9f * fade);
        pic->Blend(x, 105, line, 0.5f * fade);
    }
    return job->texts.empty() || pic->DrawText(job->texts[0].c_str(), 80, true, 256.0f, 10.0f, white, 3.0f);
}

// Sphere map of a bright sky over a dark ground, as a chrome cube would mirror it.
static void localReflection(FXContentPicture* pic) {
    pic->Create(256, 256);
    for (int y = 0; y < pic->height; y++) {
        for (int x = 0; x < pic->width; x++) {
            float s = ((float)x + 0.5f) / 128.0f - 1.0f, t = 1.0f - ((float)y + 0.5f) / 128.0f;
            float r2 = fminf(s * s + t * t, 1.0f);
            float nz = sqrtf(1.0f - r2);
            // Reflection of a view along -z off a normal (s, t, nz).
            float ry = 2.0f * nz * t;
            float rx = 2.0f * nz * s;
            float* p = pic->At(x, y);
            if (ry >= 0.0f) {
                float h = powf(1.0f - ry, 3.0f);
                p[0] = 0.25f + 0.6f * h;
                p[1] = 0.45f + 0.5f * h;
                p[2] = 0.85f + 0.15f * h;
            } else {
                float g = fxContentFbm(rx * 6.0f, ry * 6.0f, 0.0f, 4, 28u);
                p[0] = 0.18f + 0.12f * g;
                p[1] = 0.14f + 0.08f * g;
                p[2] = 0.12f + 0.05f * g;
            }
            p[3] = 1.0f;
        }
    }
    const float sun[4] = {1.0f, 0.97f, 0.85f, 1.0f};
    pic->Spot(170.0f, 70.0f, 10.0f, sun, 1.0f, false);
}

static bool localCubeShell(const tagContentJob* job, FXContentPicture* pic) {
    pic->Create(256, 256);
    const float frame[4] = {0.5f, 0.9f, 1.0f, 1.0f};
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 256; x++) {
            int edge = x < y ? x : y;
            edge = edge < 255 - x ? edge : 255 - x;
            edge = edge < 255 - y ? edge : 255 - y;
            float a = edge < 6 ? 0.9f : (edge < 14 ? 0.25f * (14 - edge) / 8.0f : 0.0f);
            // Corner brackets inside the frame.
            bool corner = (edge >= 16 && edge < 20) && ((x < 60 || x > 195) && (y < 60 || y > 195));
            pic->Blend(x, y, frame, corner ? 0.9f : a);
        }
    }
    const float white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float top = 128.0f - 20.0f * (float)job->texts.size();
    for (size_t i = 0; i < job->texts.size(); i++) {
        if (!pic->DrawText(job->texts[i].c_str(), i == 0 ? 38 : 22, i == 0, 128.0f, top + 44.0f * (float)i, white,
                           2.0f)) {
            return false;
        }
    }
    return true;
}

static void localTile(FXContentPicture* pic) {
    pic->Create(64, 64);
    for (int y = 0; y < 64; y++) {
        for (int x = 0; x < 64; x++) {
            bool line = x % 16 == 0 || y % 16 == 0;
            float v = line ? 0.5f : 0.25f;
            localSetPixel(pic, x, y, v, v, v + 0.05f, 1.0f);
        }
    }
}

bool fxContentPicture(tagContentJob* job) {
    FXContentPicture pic;
    const std::string& r = job->recipe;
    std::string ext = ".png";
    bool ok = true;
    if (r == "caption") {
        ok = localCaption(job, &pic);
    } else if (r == "preview") {
        ok = localPreview(job, &pic);
        ext = ".jpg";
    } else if (r == "label") {
        ok = localLabel(job, &pic);
    } else if (r == "backdrop") {
        localBackdrop(&pic);
    } else if (r == "tile") {
        localTile(&pic);
    } else if (r == "lens") {
        localLens(&pic);
    } else if (r == "reflection") {
        localReflection(&pic);
        ext = ".jpg";
    } else if (r == "cubeshell") {
        ok = localCubeShell(job, &pic);
    } else {
        fxcontentError("no picture recipe '%s'", r.c_str());
        return false;
    }
    if (!ok) {
        return false;
    }
    job->made = fxContentSave(job, pic, r + ext);
    if (job->made.empty()) {
        return false;
    }
    job->pkg->AddDataFile(job->id, job->made.c_str());
    return true;
}
