#ifndef FX_RENDER_MATLIB_H
#define FX_RENDER_MATLIB_H

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

class FXMaterial;
class FXPackage;

// Longest token or line the MTL import takes in, terminator included; longer ones are cut.
#define FXMTL_LINE 1024

// A named list of materials in which meshes find theirs by name. Shared by use count; the
// render environment hands libraries out and keeps the list of loaded ones.
class FXMatlib {
public:
    FXStr name;         // MTL path, or the stored name; the environment finds libraries by it
    FXMatlib* fallback; // searched first by FindMaterial; not owned
    FXArray materials;  // FXMaterial*; owned when their libOwned flag is set
    bool releaseDeletes;
    int32_t useCount;

    FXMatlib();
    ~FXMatlib();
    FXMatlib(const FXMatlib&) = delete;
    FXMatlib& operator=(const FXMatlib&) = delete;

    // Appends m unless it is listed already; its position, -1 for null. m stays the caller's.
    int AddMaterial(FXMaterial* m);
    void RemoveMaterial(FXMaterial* m);
    // The fallback's answer wins; then the first material of this list with that name.
    FXMaterial* FindMaterial(const char* name);
    void Destroy();
    // Gives up one use; the last one destroys the library, takes it off fxglobalEnv's list and
    // deletes it when releaseDeletes is set.
    void Release();

    bool LoadFromMtl(const char* path);
    // The stored library; Load and LoadC append to the list. A file that cannot be opened leaves
    // the library as it was and answers false.
    bool Load(const char* path);
    bool LoadC(FXPackage* pkg, const char* idText);
    bool Save(const char* path);
    // Turns the texture file names into package entry ids, queueing the files with the package.
    void Compile(FXPackage* pkg);
};

#endif
