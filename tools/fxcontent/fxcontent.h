#ifndef FX_TOOLS_FXCONTENT_H
#define FX_TOOLS_FXCONTENT_H

#include <cstdint>
#include <string>
#include <vector>

#include "base/trace.h"

class FXPackage;

// Exit codes.
#define FXCONTENT_OK 0
#define FXCONTENT_FAILED 1
#define FXCONTENT_USAGE 2

// "fxcontent: " and the message on standard error.
void fxcontentError(const char* format, ...) FX_PRINTF(1, 2);

// A picture being drawn: RGBA floats nominally in 0 ... 1, not premultiplied, rows top first
// (the engine uploads row 0 as the top of a texture).
class FXContentPicture {
public:
    int width = 0;
    int height = 0;
    std::vector<float> rgba;

    // Transparent black.
    void Create(int w, int h);
    float* At(int x, int y) { return &rgba[((size_t)y * (size_t)width + (size_t)x) * 4]; }
    const float* At(int x, int y) const { return &rgba[((size_t)y * (size_t)width + (size_t)x) * 4]; }
    // Lays colour c with coverage a over the pixel; pixels outside the picture are skipped.
    void Blend(int x, int y, const float* c, float a);
    // Adds light: RGB grows by c * a, alpha by a, both held at 1.
    void AddGlow(int x, int y, const float* c, float a);
    // A soft round spot of radius r pixels (coverage falls off as a Gaussian), optionally
    // wrapping across the left and right edges, as an equirectangular map must.
    void Spot(float cx, float cy, float r, const float* c, float a, bool wrapX);
    // Bilinear; u wraps around, v is held inside. u, v in 0 ... 1 across the picture.
    void Sample(float u, float v, float* out) const;
    // Averages factor x factor blocks.
    void Shrink(int factor);
    // Text of pixelHeight pixels centred on (cx, top) with a glow of glowRadius pixels.
    bool DrawText(const char* text, int pixelHeight, bool bold, float cx, float top, const float* colour,
                  float glowRadius);
    // Width in pixels that DrawText would take; 0 when the font cannot be used.
    static int TextWidth(const char* text, int pixelHeight, bool bold);

    // Through the engine's canvas and image library; the format follows the extension
    // (".png" keeps alpha, ".jpg" drops it).
    bool Load(const char* path);
    bool Save(const char* path) const;
};

// Value noise on a 3D lattice, smoothly interpolated, 0 ... 1; the same inputs give the same
// value on every run. Fbm sums octaves of halving amplitude and doubling frequency.
float fxContentNoise(float x, float y, float z, uint32_t seed);
float fxContentFbm(float x, float y, float z, int octaves, uint32_t seed);
// A reproducible stream of numbers in [0, 1).
class FXContentRandom {
public:
    explicit FXContentRandom(uint32_t seed) : state(seed * 2654435761u + 0x9e3779b9u) {}
    float Next();

private:
    uint32_t state;
};

// The point of the unit sphere that texture coordinates (u, v) of a globe picture show:
// longitude -180 ... 180 runs with u from 0 to 1, latitude 90 ... -90 with v from 0 to 1 (the
// engine's rows are top first, so the north of a picture is v = 0). North is -Z and longitude 0
// faces -Y: the scene turns the globe so that north is up and longitude 0 faces the viewer.
void fxContentSpherePoint(float u, float v, float* p);

float fxContentSmooth(float e0, float e1, float x);
float fxContentClamp01(float x);

// What one manifest line asks for, and where the files made for it go.
struct tagContentJob {
    int id;
    std::string recipe;
    std::vector<std::string> texts; // the line's text, split at '|'
    std::string work;               // private folder of this build, absolute
    std::string earthPicture;       // the day and night Earth pictures
    std::string nightPicture;
    std::string keepFolder; // when not empty, every picture is also written here as PNG
    FXPackage* pkg;
    std::string made; // the file queued under id
};

// Recipes. Each makes the files for its job, queues them with the package and sets job->made.
bool fxContentPicture(tagContentJob* job);
bool fxContentModel(tagContentJob* job);
// Whether the recipe makes a model (true) or a picture (false); false for unknown names too.
bool fxContentIsModel(const std::string& recipe);
bool fxContentKnown(const std::string& recipe);

// Pictures the models use, drawn by the picture side.
bool fxContentEarthDay(const tagContentJob* job, FXContentPicture* out);
bool fxContentEarthNight(const tagContentJob* job, FXContentPicture* out);
void fxContentClouds(FXContentPicture* out);
void fxContentGraticule(FXContentPicture* out);
void fxContentOrbits(FXContentPicture* out);
void fxContentHaze(FXContentPicture* out);
void fxContentStrand(FXContentPicture* out);
void fxContentNode(FXContentPicture* out);
bool fxContentEmblem(FXContentPicture* out);
// Saves the picture under name in the work folder (and the keep folder); the full path, or
// empty after an error message.
std::string fxContentSave(const tagContentJob* job, const FXContentPicture& pic, const std::string& name);

// Where the globe sits on the screen, in the full-screen overlays' texture space (u right,
// v down, both 0 ... 1): its centre and the half-axes of its outermost shell.
#define FXCONTENT_GLOBE_U 0.2f
#define FXCONTENT_GLOBE_V 0.8f
// Earth radius in model units and the outermost shell's, before the scene's 1.005 shell scale.
#define FXCONTENT_EARTH_RADIUS 0.46f
#define FXCONTENT_OUTER_RADIUS 0.52f
// The scene scales the globe by 0.98 across and 1.2 up; the overlays span -1 ... 1 both ways.
#define FXCONTENT_GLOBE_HALF_U (0.98f * FXCONTENT_OUTER_RADIUS * 1.005f * 0.5f)
#define FXCONTENT_GLOBE_HALF_V (1.2f * FXCONTENT_OUTER_RADIUS * 1.005f * 0.5f)

#endif
