#ifndef FX_OBJECTS_DESK_H
#define FX_OBJECTS_DESK_H

#include "base/env.h"
#include "geometry/mesh.h"

class FXMaterial;

// The flat textured rectangle most of the show is drawn on: a grid of cols x rows cells that,
// with identity matrices, covers the normalised screen square (x -1 ... 1 left to right,
// y 1 ... -1 top to bottom, z 0). Derived desks move and recolour the grid themselves.
class FXDesk : public PRender {
public:
    int cols;
    int rows;
    FXMesh mesh; // owns the arrays; the material is the caller's

    FXDesk();
    ~FXDesk();
    FXDesk(const FXDesk&) = delete;
    FXDesk& operator=(const FXDesk&) = delete;

    void OnRender(PEnv* env, double time) override;
    virtual void Destroy();
    virtual void UpdatePos(bool positions, bool normals);
    virtual void UpdatePosSkew(bool positions, bool normals, float sx, float sy);
    virtual void UpdatePosSkew1(bool positions, bool normals, float sx, float sy);
    virtual void UpdatePosPerspective(float k);
    virtual void UpdateCol();
    virtual void UpdateColCol(float* rgba);
    virtual void UpdateCol_LT_RB(float* lt, float* rb);
    virtual void UpdateTex();
    virtual void UpdateTex1();
    virtual void UpdateTexRc(float l, float t, float r, float b);

    void Create(int columns, int rows);
    // Leaves out the cells through which nothing of the material's texture can show: every
    // texel their samples may reach is fully transparent, so the alpha test would discard all
    // their fragments anyway. shrink (>= 1) is the most the picture is ever drawn reduced by,
    // which decides how far coarser mipmap levels reach. Returns how many cells were dropped.
    // Holds while the texture coordinates stay as they are (any tint keeps alpha 0 at 0); a
    // later Create restores every cell.
    int DropClearCells(float shrink);
    void SetMaterial(FXMaterial* m);
    void SetMaterial1(FXMaterial* m);
    // Corners of a 1x1 desk, clockwise from the top left: 1 top left, 2 top right,
    // 3 bottom right, 4 bottom left. Other numbers change nothing.
    void SetVertexPos(int corner, float x, float y);
    void SetVertexPos1(int corner, int px, int py, int w, int h);
    void SetTexelPos(int corner, float u, float v);
    void SetTexelPos1(int corner, int px, int py, int w, int h);
};

#endif
