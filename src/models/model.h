#ifndef FX_MODELS_MODEL_H
#define FX_MODELS_MODEL_H

#include <cstdio>

#include "base/arrays.h"
#include "base/env.h"
#include "base/strings.h"

class FXInput;
class FXMatlib;
class FXMesh;
class FXPackage;
class FXPackageData;

// A drawable set of meshes sharing one material library. The loaded group holds the meshes as
// read or imported; the working group is a deep copy of it (UpdateMeshes) and is what the
// editing operations change, what is drawn and what is saved. Stored as "xm02" (every mesh with
// its own vertices) or "xm03" (vectors shared by the whole model); the writer makes "xm03".
class FXModel : public PRender {
public:
    FXStr name;
    FXStr matlibRef;      // library file path, or after Compile the decimal id of a package entry
    FXMatlib* matlib;     // one use of a library handed out by fxglobalEnv
    bool flipTexV;        // copied into every working mesh's flipV before its texture coordinates are resized
    FXArray loadedMeshes; // owned FXMesh*
    FXArray workMeshes;   // owned FXMesh*; null entries are skipped everywhere

    FXModel();
    virtual ~FXModel();
    FXModel(const FXModel&) = delete;
    FXModel& operator=(const FXModel&) = delete;

    // Files and packages. Save answers false when the file cannot be written; the loaders only
    // when the file or entry is missing: another magic, or damage, leaves fewer meshes (an error
    // trace says why) and still answers true.
    bool Save(const char* path);
    bool Save_v02(FILE* f);
    bool Save_v03(FILE* f);
    bool Load(const char* path);
    bool LoadCN(FXPackage* pkg, int id);
    // The readers behind Load and LoadCN, entered after the magic.
    void Load_v02(FILE* f);
    void Load_v03(FILE* f);
    void Load_v02CN(FXPackage* pkg, FXPackageData* data);
    void Load_v03CN(FXPackage* pkg, FXPackageData* data);
    // Turns the library (and its texture files) into package entries and matlibRef into the
    // library's entry id. True when there is no library; false, with matlibRef unchanged, when
    // the library cannot be written.
    bool Compile(FXPackage* pkg);
    // Parses an OBJ file and appends its meshes to the loaded group (model_obj.cpp). False only
    // when the file cannot be read. text: the file's content, terminated, when the caller has read
    // it already (the path still places the material library); null reads the file.
    bool ImportObj(const char* path, const char* text = nullptr);

    // Mesh groups and editing; all on the working group unless said otherwise.
    void UpdateMeshes();
    // The loaded meshes become the working group as UpdateMeshes would copy them, the loaded
    // group left empty: for a caller that only saves or compiles and needs no second copy.
    void TakeLoadedMeshes();
    void Copy(FXModel* other);
    void Destroy();
    int GetTotalVertices();
    FXMesh* EnumMeshes(int i);
    // Name of the mesh's material; null out of range, for a null mesh or one without material.
    const char* EnumMeshNames(int i);
    // The first mesh whose material is called name; the search stops at the first mesh
    // EnumMeshNames gives no name for.
    FXMesh* FindMesh(const char* meshName);
    void DisableMesh(int i, bool disabled);
    // Takes m out of the working group, or else out of the loaded group; m is not deleted.
    void RemoveMesh(FXMesh* m);
    // A copy of the mesh sourceName that draws with the library's material newName, replacing a
    // mesh of that name; null (and any mesh of that name gone) when the library has no newName.
    FXMesh* DoubleMesh(const char* newName, const char* sourceName);
    void Normalize(bool onlyTagged);
    void FlipHoriz();
    void ComputeFrontTexCoords(int i); // -1: every mesh
    void ResizeTextCoords();
    void ResizeTextCoords1();
    // Only between groups of equal size; -1: every pair.
    void CopyTexCoords(int i, FXModel* other);
    // box: six floats, minX, maxX, minY, maxY, minZ, maxZ over all meshes; untouched without vertices.
    void FindMaxims(float* box);
    void UnitizeMaxims(float* box);
    void UnitizeMaximsStretch(float* box);
    void UnitizeMaximsStretch1(float* box);
    void Unitize();
    void UnitizeStretch();
    void UnitizeStretch1();
    void Transform(int ix, int iy, int iz, bool negX, bool negY, bool negZ);
    void UpdateColCol(const float* rgba);
    void UpdateColMat(const float* factors);
    void PreserveColMat();

    // Class 0 solid; class 1 inside (front faces culled, last mesh first) then outside; class 2
    // once without and once with depth writes.
    void OnRender(PEnv* env, double time) override;

private:
    void DeleteMeshes(FXArray* group);
    void TakeLibrary(bool fromPackage, FXPackage* pkg);
    // Name, library reference and the library they name, then the meshes: "xm03" (indexed) or
    // "xm02". Nothing is read without an input.
    void LoadFrom(FXInput* in, bool indexed);
};

#endif
