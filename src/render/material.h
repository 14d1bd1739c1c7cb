#ifndef FX_RENDER_MATERIAL_H
#define FX_RENDER_MATERIAL_H

#include <cstdio>

#include "base/strings.h"
#include "render/canvas.h"

class FXPackage;
class FXPackageData;

// Surface description the device applies before drawing: four RGBA colours of the fixed-function
// lighting model, a shininess and optionally a texture uploaded through fxglobalEnv. Texture
// operations talk to the device and belong on the thread that owns the GL context.
class FXMaterial {
public:
    FXStr name;
    bool libOwned; // filled from a stored record or the MTL import: its library deletes it
    float ambient[4];
    float diffuse[4]; // the alpha decides IsSolid
    float specular[4];
    float emission[4];
    float shininess;
    float preservedCols[4][4]; // ambient, diffuse, specular, emission as PreserveCols found them
    bool hasTexture;
    unsigned int glTexture;     // 0 = none
    float texScaleU, texScaleV; // the largest texture coordinates that still lie inside the picture
    bool texOpaque;
    bool mipmaps;
    FXCanvas* texture; // uploaded canvas: ownTexture or the caller's; never freed through this
    FXCanvas ownTexture;
    FXStr texFile; // file path, or the decimal id of a package entry once compiled

    FXMaterial();
    ~FXMaterial();
    FXMaterial(const FXMaterial&) = delete;
    FXMaterial& operator=(const FXMaterial&) = delete;

    // Colour presets; a is the alpha where the preset writes one.
    void SetDefDiffuse(float a);
    void SetDefault(float a);
    void SetBlack(float a);
    void SetDefSpecular(float a);
    void SetDefSpecular1(float a);
    void SetDefEmission(float a);
    void PrepareDarkDiffuse(float a);
    // Diffuse R, G, B := v; with PrepareDarkDiffuse it fades a texture in from black.
    void ChangeDarkDiffuse(float v);

    void PreserveCols();
    // Every colour := its preserved value times m, component by component; calls do not accumulate.
    void MultiCols(const float* m);
    bool IsSolid() const;

    // The loaders put the picture into ownTexture and attach it; texFile is left alone.
    bool LoadTexture(const char* file);
    bool LoadTextureCN(FXPackage* pkg, int id);
    bool LoadTextureC(FXPackage* pkg, const char* idText);
    // Attaches a canvas the caller keeps owning and uploads it.
    bool SetTexture(FXCanvas* canvas);

    int GetWidth() const;
    int GetHeight() const;
    float GetWidthF() const;
    float GetHeightF() const;

    // Releases the texture and its pixels; colours and names stay.
    void Destroy();

    // Stored record: name, texFile, the four colours, shininess; little-endian. Load and LoadC
    // answer the result of loading the referenced texture (true without one).
    bool Save(FILE* f) const;
    bool Load(FILE* f);
    bool LoadC(FXPackage* pkg, FXPackageData* data);

private:
    bool AttachLoaded(bool loaded);
    void ReleaseTexture();
};

#endif
