#ifndef FX_MODELS_MODEL_OBJ_H
#define FX_MODELS_MODEL_OBJ_H

#include <cstdint>

#include "base/arrays.h"
#include "base/strings.h"

class FXMatlib;

// Longest token or rest of line the OBJ reader takes in, terminator included; longer ones are cut.
#define FXOBJ_LINE 1024

// A named list of faces of an OBJ file; group 0 is the unnamed default group.
struct MObjGroup {
    FXStr name;
    FXMemory faceIds;     // int32 face numbers in file order
    int32_t* writeCursor; // next free item while the second pass fills faceIds

    MObjGroup() : faceIds(4), writeCursor(nullptr) {}
    // Face numbers written so far.
    int Filled() const;
};

// One triangle or line segment with 0-based indices into the tables; -1 where the statement
// gives no normal or texture coordinate. A segment uses the first two entries of each triple.
struct MObjFace {
    bool isLine;
    int32_t v[3];
    int32_t n[3];
    int32_t t[3];
    int32_t material; // material id current when the statement was read
};

// An OBJ file read in two passes: the first counts and sizes every table, the second fills them.
// Positions and normals are stored with z negated. Faces whose indices fall outside their tables
// (or are 0) are left out with an error trace; negative indices count back from the last entry
// read before the statement.
class FXObjModel {
public:
    char* path;
    char* mtllibName;         // from the last mtllib statement; null when there is none
    FXMatlib* matlib;         // one use of the library fxglobalEnv loaded from mtllibName
    FXStrArray materialNames; // in order of first usemtl: the position is the material id
    FXArray materialMeshes;   // per material id, the mesh the conversion made (not owned)
    FXMemory positions;       // 3 floats each
    FXMemory normals;         // 3 floats each
    FXMemory texCoords;       // 2 floats each; as many zeros as positions when the file has none
    FXArray faces;            // MObjFace*, owned; the position is the face number
    MObjFace* faceBlock;      // the face records, all in one block
    FXArray groups;           // MObjGroup*, owned

    FXObjModel();
    ~FXObjModel();
    FXObjModel(const FXObjModel&) = delete;
    FXObjModel& operator=(const FXObjModel&) = delete;

    // False, with an empty model, when the file cannot be read or its tables cannot be held.
    // text: the file's content, terminated, already read by the caller; null reads the file.
    bool Load(const char* objPath, const char* text = nullptr);
    void Destroy();
};

#endif
