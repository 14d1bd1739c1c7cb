#ifndef FX_GEOMETRY_MESH_H
#define FX_GEOMETRY_MESH_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/arrays.h"
#include "base/strings.h"
#include "io/vertex.h"

class FXCanvas;
class FXInput;
class FXMaterial;
class FXMatlib;
class FXNumPool;
class FXPackage;
class FXPackageData;
class FXVectorMap;
class PMeshSaveClb;
struct tagFXReduceIndex;
struct tagFXReduceUndo;
struct tagFXReduceMemory;

// Indexed triangle list with one material: three indices per triangle, and the face normal of
// a triangle (a, b, c) points along (c - a) x (b - a).
class FXMesh {
public:
    bool disabled;
    int renderClass; // 0 solid, 1 blended, 2 drawn in a last pass
    int colourMode;  // 1: vertex colours drive ambient and diffuse
    bool flipV;
    FXMesh* secondMesh;   // feeds the second texture unit; not owned
    FXMaterial* material; // borrowed from a material library
    FXStr materialName;
    float loadedU, loadedV; // texture scales the stored texture coordinates were made with; 0 = unknown
    int vertexCapacity, vertexCount;
    tagFXVertex* vertices;
    int indexCapacity, indexCount;
    int* indices;

    // Working state of the mesh reduction.
    float reduceTolerance;
    float facePlane[4];
    float edgePlane[4];
    float edgePlane2[4];
    float sideRef;
    FXArray reduceDepends, reduceTargets;
    // Runs the reduction's searches as plain scans of the index and vertex blocks instead of
    // through its adjacency index; both give the same mesh, index for index.
    bool reduceScans = false;
    tagFXReduceIndex* reduceIndex = nullptr; // exists only while ReduceVertices runs
    tagFXReduceUndo* reduceUndo = nullptr;   // likewise: what the running stages changed
    // What a sweep learnt for the next one: the triangles it could not change. Kept only while
    // the mesh stays as that sweep left it.
    tagFXReduceMemory* reduceMemory = nullptr;
    // A check for tests: the sweeps try the triangles they would pass over all the same, counting
    // them, and those that then changed the mesh (none should).
    bool reduceRetryRemembered = false;
    int reduceRetried = 0;
    int reduceRetryChanged = 0;
    // Likewise for the partner searches a sweep spares: each is walked all the same, and each
    // vertex's worked-out neighbours are worked out again at every use; counted are the spared
    // searches, and the walks that found a partner or the neighbours that differed (none should).
    bool reduceCheckSpared = false;
    int reduceSpared = 0;
    int reduceSparedWrong = 0;
    // And for the verdicts worked out from the corners of the common patches: each is judged again
    // the general way; counted are the verdicts, and those that differed (none should).
    bool reduceCheckVerdicts = false;
    int reduceVerdicts = 0;
    int reduceVerdictsWrong = 0;

    FXMesh();
    ~FXMesh();
    FXMesh(const FXMesh&) = delete;
    FXMesh& operator=(const FXMesh&) = delete;

    // Sets the counts; a block that is missing or too small is replaced by a new zero-filled one
    // (old contents are not kept), a large-enough block keeps its contents. Negative counts are
    // taken as 0. False, with that count 0, when a block cannot be allocated.
    bool Realloc(int nVertices, int nIndices);
    void Destroy();
    // Copies the material, name, scales, render class, colour mode, vertices and indices; not
    // disabled, flipV or secondMesh.
    bool Copy(FXMesh* src);

    // Full stored record. The loaders answer false, with an empty mesh and an error trace, for
    // counts the input cannot hold and for indices outside the vertex table.
    bool SaveMesh(FILE* f);
    bool LoadMesh(FXInput* in, FXMatlib* lib);
    bool LoadMesh(FILE* f, FXMatlib* lib);
    bool LoadMeshC(FXPackage* package, FXPackageData* data, FXMatlib* lib);
    // Indexed header: the vertices and indices travel in a vector map and a number pool.
    bool SaveMeshI(FILE* f);
    bool LoadMeshI(FXInput* in, FXMatlib* lib);
    bool LoadMeshI(FILE* f, FXMatlib* lib);
    bool LoadMeshIC(FXPackage* package, FXPackageData* data, FXMatlib* lib);
    bool CopyMeshI(FXMesh* src);

    // Encodes the corners into the shared map and this mesh's pool (dropping unused vertices
    // first). With redirect, the map indices of each corner are appended to redirect[0..2].
    bool ToVMap(FXVectorMap* map, FXNumPool* pool, PMeshSaveClb* clb, int owner, FXArray** redirect);
    // Codes the corners into pool as ToVMap does, from the map indices of every vertex's
    // position, normal and texture coordinate found already (keys: three per vertex, valid).
    bool CodeCorners(FXNumPool* pool, const int32_t* keys);
    // Rebuilds vertices and indices sized by the header; false, with an empty mesh and an error
    // trace, when the stream is short, names vectors the map lacks or needs more vertices than
    // the header allows.
    bool FromVMap(FXVectorMap* map, FXNumPool* pool);
    void ApplyRedir(FXVectorMap* map, FXArray** redirect);

    void ComputeNormals(bool onlyTagged);
    void ComputeNormalsZ(bool onlyTagged, float zScale);
    void Normalize(bool onlyTagged);
    void ResizeTexCoords();
    void ResizeTexCoords1();
    void ComputeFrontTexCoords();
    void CopyTexCoords(FXMesh* src);
    void FindMaxims(float* box);
    void FindMultiMaxims(bool* first, float* box);
    void UnitizeMaxims(float* box);
    void UnitizeMaximsStretch(float* box);
    void UnitizeMaximsStretch1(float* box);
    void Unitize();
    void FlipHoriz();
    void ExtendPositions(float d);
    void ApplyBumpMap(FXCanvas* c, float height);
    void ApplyColorMap(FXCanvas* c, float* mul);
    void ApplyFrontColorMap(FXCanvas* c, float* mul);
    void SetVerticesCol(float* c);
    void Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ);
    static int TextToIndi(const char* s);
    // Removes the vertices no index names; false (nothing changed) when an index is invalid.
    bool DiscardVertices();

    // Whether every index names a vertex of the table.
    bool IndicesValid() const;

    // Mesh reduction. One sweep that drops the vertices lying on a straight edge between flat
    // triangles, within toleranceDeg degrees, moving seam copies of a vertex together. False,
    // with an error trace and nothing changed, when an index is invalid. A sweep that changed
    // little leaves the next sweep at the same tolerance the triangles it could not change, to
    // pass over while nothing they depend on changes; any other change to the mesh in between
    // drops them, and ForgetReduceMemory frees them.
    bool ReduceVertices(float toleranceDeg);
    void ForgetReduceMemory();
    // Drops the triangles whose three corners all sample the texture with alpha <= alphaMin.
    void DiscardTrianglesTransp(int ignored, float alphaMin);
    bool TestTriangleTransp(int ignored, int* tri, float alphaMin);

    // Building blocks of the reduction; they take vertex numbers that exist. A plane is
    // (nx, ny, nz, d).
    void ComputeFormula(float* out, int i, int j, int k);
    void ComputeFormula1(float* out, float* plane, int i, int j);
    float MultiVertexFormula(float* plane, int v);
    bool TestVertexOnFormula(float* plane, int from, int v);
    bool TestVerticesDirection(int a, int b, int g);
    bool TestVertexSide(int v);
    void PlaceVertexFormula(int v, float* plane);
    void PlaceVertexFormula1(int v, float* plane);
    void SetVerticesMask(int n, int* list, int bits);
    void SetVerticeMask(int v, int bits);
    bool TestVerticesMask(int n, int* list);
    bool TestVertices1Mask(int a);
    bool TestVertices2Mask(int a, int b);
    bool TestVertices3Mask(int a, int b, int q);
    void DiscardTrianglesGroup(int n, int* list);
    void CreateTrianglesGroup(int n, int* corners);
    void DiscardProceed();
    void PushReducDepend(int x, int y);
    int FindOtherVertex(int v);
    void DiscardReducedVertices();
    bool FindNextContiguouse(int a, int b, int q, int* cursor, int* partner, int* out);
    bool FindNextContiguouse1(int q, int e, int p, int* cursor, int* out);
    bool ReduceStage1(int a, int b, int q);
    bool ReduceStage2(int a, int b, int p, int q, int e);
    bool ReduceStage22(int a, int b, int p, int q, int e);
    bool ReduceStage3(int a, int b, int p, int q, int e);
    bool ReduceStage3a(int a, int b, int p, int q, int e);
    bool ReduceStage4(int a, int b, int p, int q, int e);
    bool ReduceStage4a(int a, int b, int p, int q, int e);
    bool ReduceStage4aa(int a, int b, int p, int d, int m, int g);
    bool ReduceStage2a(int a, int b, int p, int q, int e);
    bool ReduceStage2aa(int a, int b, int p, int q, int e, int g);

private:
    // Squared sines just below and above reduceTolerance, for the tolerance they were made for:
    // the angle test decides clear cases from them and takes the arcsine only in between.
    float angleBoundsFor = -1.0f;
    double sinBelow2 = 0.0, sinAbove2 = 0.0;

    void ResizeTexCoordsBy(float su, float sv);
    void FinishLoad(FXMatlib* lib);
};

#endif
