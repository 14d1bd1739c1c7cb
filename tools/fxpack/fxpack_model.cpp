// fxpack model, fxpack info, and the OBJ entries of fxpack build.

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "models/model.h"
#include "io/package.h"
#include "base/env.h"
#include "base/paths.h"
#include "fxpack.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/matlib.h"

namespace {

// The render environment of a tool: no device. Textures count as uploaded, so materials keep
// them and their scales as the show would see them; nothing is drawn.
class FXPackEnv : public PEnv {
public:
    ~FXPackEnv() override { Destroy(); }

    bool CreateChild(void*) override { return true; }
    void ClrParams() override {}
    void SetAct(bool) override {}
    bool RenderStart() override { return true; }
    void RenderEnd() override {}
    void SetClrColor(float*) override {}
    void Clrscr(bool, bool, bool) override {}
    void Enlarge(bool) override {}
    void UpdateLights() override {}
    void ApplyMaterial(FXMaterial*) override {}
    void ApplyMaterial2(FXMaterial*) override {}
    void ApplyMatrix(FXMatrix*) override {}
    void MultiplyMatrix(FXMatrix*) override {}
    void ApplyMatrixIdentity() override {}
    void EnableLights(bool) override {}
    void EnableLight(bool, FXLight*) override {}
    void DisableAllLights() override {}
    void SetAmbient(float*) override {}
    void EnableDepthTest(bool) override {}
    void EnableDepthWrite(bool) override {}
    void EnableCullface(bool, bool) override {}
    bool PrepareTexture(FXMaterial* m) override {
        return m != nullptr && m->texture != nullptr && m->texture->pixmap.pixels != nullptr;
    }
    bool FastPrepareTexture(FXMaterial*, FXPixmap*) override { return true; }
    bool PrepareCubeTexture(FXMaterial*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*, FXPixmap*) override {
        return false;
    }
    void UnprepareTexture(FXMaterial*) override {}
    bool PrepareMesh(FXMesh*) override { return true; }
    void UnprepareMesh(FXMesh*) override {}
    void RenderMesh(FXMesh*) override {}
};

// Sets up the tool's environment for one model and takes it down again, model first.
class FXPackSession {
public:
    FXPackEnv env;
    FXModel model;
    std::string startFolder;

    FXPackSession() {
        char buf[PATH_MAX];
        startFolder = getcwd(buf, sizeof(buf)) != nullptr ? buf : ".";
        fxSetEnv(&env);
    }
    ~FXPackSession() {
        model.Destroy();
        fxSetEnv(nullptr);
        if (chdir(startFolder.c_str()) != 0) {
            fxpackError("cannot return to %s", startFolder.c_str());
        }
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Paths

bool fxpackIsObj(const std::string& path) {
    return path.size() > 4 && strcasecmp(path.c_str() + path.size() - 4, ".obj") == 0;
}

static std::string localFolder(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

static std::string localLeaf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The absolute form of an existing path; empty, with a message, when it cannot be found.
static std::string localRealPath(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) {
        fxpackError("cannot read %s: %s", path.c_str(), strerror(errno));
        return std::string();
    }
    return buf;
}

// The absolute form of a path that need not exist yet.
static std::string localAbsolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') {
        return path;
    }
    char buf[PATH_MAX];
    return getcwd(buf, sizeof(buf)) != nullptr ? std::string(buf) + "/" + path : path;
}

// ---------------------------------------------------------------------------------------------
// Import

// Reads an OBJ file (its library and textures relative to its folder, as the engine reads them)
// into the session's model and makes the working copy. textures: whether every texture of the
// library must have been read.
static bool localImport(FXPackSession* s, const std::string& objPath, bool textures) {
    std::string full = localRealPath(objPath);
    if (full.empty()) {
        return false;
    }
    std::string folder = localFolder(full);
    if (chdir(folder.c_str()) != 0) {
        fxpackError("cannot enter %s: %s", folder.c_str(), strerror(errno));
        return false;
    }
    if (!s->model.ImportObj(localLeaf(full).c_str())) {
        fxpackError("cannot read %s", objPath.c_str());
        return false;
    }
    bool ok = true;
    FXMatlib* lib = s->model.matlib;
    for (int i = 0; lib != nullptr && i < lib->materials.size; i++) {
        FXMaterial* m = (FXMaterial*)lib->materials.elements[i];
        if (m == nullptr || m->texFile.IsEmpty() || m->hasTexture) {
            continue;
        }
        if (textures) {
            fxpackError("%s: texture %s of material '%s' in %s cannot be read", objPath.c_str(), m->texFile.chars,
                        m->name.chars, lib->name.chars);
            ok = false;
        } else {
            fprintf(stderr, "fxpack: warning: %s: texture %s of material '%s' cannot be read\n", objPath.c_str(),
                    m->texFile.chars, m->name.chars);
        }
    }
    s->model.UpdateMeshes();
    return ok;
}

// Triangles of the enabled working meshes.
static int localTriangles(FXModel* model) {
    int n = 0;
    for (int i = 0; i < model->workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->workMeshes.elements[i];
        n += m != nullptr && !m->disabled ? m->indexCount / 3 : 0;
    }
    return n;
}

// Saves the working model beside path and moves it over path.
static bool localSaveModel(FXModel* model, const std::string& path) {
    std::string tmp = path + ".tmp";
    if (!model->Save(tmp.c_str())) {
        fxpackError("cannot write %s: %s", tmp.c_str(), strerror(errno));
        remove(tmp.c_str());
        return false;
    }
    return fxpackReplaceFile(tmp, path);
}

int fxpackModel(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = nullptr;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc || output != nullptr) {
                return fxpackUsageError(output != nullptr ? "-o given twice" : "-o needs a file name");
            }
            output = argv[++i];
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return fxpackUsageError("unknown option '%s'", argv[i]);
        } else if (input == nullptr) {
            input = argv[i];
        } else {
            return fxpackUsageError("model takes one OBJ file, '%s' is one too many", argv[i]);
        }
    }
    if (input == nullptr || output == nullptr) {
        return fxpackUsageError(input == nullptr ? "model needs an OBJ file" : "model needs -o FILE");
    }
    std::string out = localAbsolute(output);
    fxLoadDevil();
    bool ok;
    {
        FXPackSession s;
        ok = localImport(&s, input, false);
        if (ok && localTriangles(&s.model) == 0) {
            fprintf(stderr, "fxpack: warning: %s holds no triangles\n", input);
        }
        ok = ok && localSaveModel(&s.model, out);
    }
    fxUnloadDevil();
    return ok ? FXPACK_OK : FXPACK_FAILED;
}

// ---------------------------------------------------------------------------------------------
// Info

// The magic of a stored model: "xm02", "xm03", or whatever else the first string holds.
static std::string localFileMagic(const char* path) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        return std::string();
    }
    FXStr magic;
    magic.Load(f);
    fclose(f);
    return magic.chars;
}

static void localPrintModel(FXModel* model, const std::string& magic, bool libraryFound) {
    printf("format %s\n", magic.c_str());
    printf("name %s\n", model->name.chars);
    if (model->matlibRef.IsEmpty()) {
        printf("library none\n");
    } else if (!libraryFound || model->matlib == nullptr) {
        printf("library %s (not found)\n", model->matlibRef.chars);
    } else {
        printf("library %s (%d materials)\n", model->matlibRef.chars, model->matlib->materials.size);
    }
    int vertices = 0, triangles = 0, classes[3] = {0, 0, 0}, otherClasses = 0, named = 0, missing = 0;
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.elements[i];
        vertices += m->vertexCount;
        triangles += m->indexCount / 3;
        if (m->renderClass >= 0 && m->renderClass <= 2) {
            classes[m->renderClass]++;
        } else {
            otherClasses++;
        }
        if (!m->materialName.IsEmpty()) {
            named++;
            missing += m->material == nullptr ? 1 : 0;
        }
    }
    printf("meshes %d\n", model->loadedMeshes.size);
    printf("materials %d", named);
    if (missing > 0) {
        printf(" (%d not in the library)", missing);
    }
    printf("\nvertices %d\ntriangles %d\n", vertices, triangles);
    printf("render classes 0:%d 1:%d 2:%d", classes[0], classes[1], classes[2]);
    if (otherClasses > 0) {
        printf(" other:%d", otherClasses);
    }
    printf("\n");
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.elements[i];
        std::string material = m->materialName.IsEmpty() ? std::string("(no material)") : m->materialName.chars;
        if (!m->materialName.IsEmpty() && m->material == nullptr) {
            material += " (not in the library)";
        }
        printf("mesh %d: %s, %d vertices, %d triangles, render class %d\n", i, material.c_str(), m->vertexCount,
               m->indexCount / 3, m->renderClass);
    }
}

// Loads the model a command names: a model file, whose library path is relative to its folder
// as the show reads it, or the model entry id of the package pkg loads from full. shown is the
// name the messages use. magic receives the stored format, libraryFound whether the library the
// model names is there. False, with a message, when there is no such model.
static bool localLoadInput(FXPackSession* s, FXPackage* pkg, const std::string& full, const char* shown, bool entry,
                           int id, std::string* magic, bool* libraryFound) {
    if (!entry) {
        *magic = localFileMagic(full.c_str());
        if (*magic != "xm02" && *magic != "xm03") {
            fxpackError("%s is not a model", shown);
            return false;
        }
        if (chdir(localFolder(full).c_str()) != 0 || !s->model.Load(localLeaf(full).c_str())) {
            fxpackError("cannot read %s", shown);
            return false;
        }
        *libraryFound = fxPathExists(s->model.matlibRef.chars);
        return true;
    }
    if (!pkg->Load(full.c_str())) {
        fxpackError("%s is not a package, or its entry lists are damaged", shown);
        return false;
    }
    FXPackageData* data = pkg->GetDataPtr(id);
    if (data == nullptr) {
        fxpackError("%s has no entry with id %d", shown, id);
        return false;
    }
    FXStr stored;
    data->ReadString(&stored);
    *magic = stored.chars;
    if (*magic != "xm02" && *magic != "xm03") {
        fxpackError("entry %d of %s is not a model", id, shown);
        return false;
    }
    s->model.LoadCN(pkg, id);
    int libId = 0;
    *libraryFound = fxpackParseInt(s->model.matlibRef.chars, &libId) && pkg->FindEntry(libId) >= 0;
    return true;
}

int fxpackInfo(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        return fxpackUsageError("info takes a model file, or a package and an id");
    }
    int id = 0;
    if (argc == 3 && !fxpackParseInt(argv[2], &id)) {
        fxpackError("'%s' is not an id", argv[2]);
        return FXPACK_USAGE;
    }
    FXPackSession s;
    std::string magic;
    bool libraryFound = false;
    FXPackage pkg;
    std::string full = localRealPath(argv[1]);
    if (full.empty() || !localLoadInput(&s, &pkg, full, argv[1], argc == 3, id, &magic, &libraryFound)) {
        return FXPACK_FAILED;
    }
    localPrintModel(&s.model, magic, libraryFound);
    // The model's library belongs to the session's environment: let go of it before the package.
    s.model.Destroy();
    return FXPACK_OK;
}

// ---------------------------------------------------------------------------------------------
// OBJ entries of a build

bool fxpackCompileObj(FXPackage* pkg, const std::string& objPath, int id, const std::string& workFolder,
                      const std::string& modelPath) {
    std::string objFull = localRealPath(objPath);
    if (objFull.empty()) {
        return false;
    }
    std::string objFolder = localFolder(objFull);
    FXPackSession s;
    if (!localImport(&s, objFull, true)) {
        return false;
    }
    // The package finds texture files relative to its work folder, where the library is written
    // too; the texture names of the library are relative to the OBJ's folder.
    std::string up;
    for (size_t i = 0; i < workFolder.size(); i++) {
        if (workFolder[i] != '/' && (i == 0 || workFolder[i - 1] == '/')) {
            up += "../";
        }
    }
    FXMatlib* lib = s.model.matlib;
    for (int i = 0; lib != nullptr && i < lib->materials.size; i++) {
        FXMaterial* m = (FXMaterial*)lib->materials.elements[i];
        if (m == nullptr || m->texFile.IsEmpty()) {
            continue;
        }
        std::string texture =
            m->texFile.chars[0] == '/' ? std::string(m->texFile.chars) : objFolder + "/" + m->texFile.chars;
        m->texFile.Set((up + texture.substr(1)).c_str());
    }
    pkg->workFolder.Set(workFolder.c_str());
    if (!s.model.Compile(pkg)) {
        fxpackError("%s: cannot make package entries of library %s", objPath.c_str(), s.model.matlibRef.chars);
        return false;
    }
    int libId;
    if (lib != nullptr && fxpackParseInt(s.model.matlibRef.chars, &libId)) {
        // The library was written under a temporary name; the names file gets one that says
        // whose library it is.
        std::string stem = objFull.substr(0, objFull.size() - 4);
        std::string name = stem + "_" + std::to_string(id) + ".matlib";
        pkg->nameServer.names.Change(libId - pkg->nameServer.baseId, name.c_str());
    }
    return localSaveModel(&s.model, modelPath);
}

// ---------------------------------------------------------------------------------------------
// Reduce

// Parses a whole decimal number; false for anything else, or for a value that is not finite.
static bool localParseFloat(const char* text, float* value) {
    if (text == nullptr || *text == 0) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    float v = strtof(text, &end);
    if (errno != 0 || *end != 0 || end == text || !std::isfinite(v)) {
        return false;
    }
    *value = v;
    return true;
}

// Totals over the working meshes.
static void localCounts(FXModel* model, int* triangles, int* vertices) {
    *triangles = 0;
    *vertices = 0;
    for (int i = 0; i < model->workMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->workMeshes.elements[i];
        if (m != nullptr) {
            *triangles += m->indexCount / 3;
            *vertices += m->vertexCount;
        }
    }
}

// Drops the transparent triangles, then sweeps until a sweep removes nothing or the sweeps run
// out (sweeps < 0: no limit), one line per step.
static bool localReduceModel(FXModel* model, bool discard, float alpha, bool reduce, float tolerance, int sweeps) {
    int triangles, vertices;
    localCounts(model, &triangles, &vertices);
    printf("model: %d triangles, %d vertices\n", triangles, vertices);
    if (discard) {
        int textured = 0;
        for (int i = 0; i < model->workMeshes.size; i++) {
            FXMesh* m = (FXMesh*)model->workMeshes.elements[i];
            if (m != nullptr && m->material != nullptr && m->material->hasTexture && m->material->texture != nullptr) {
                textured++;
                m->DiscardTrianglesTransp(0, alpha);
            }
        }
        int t, v;
        localCounts(model, &t, &v);
        printf("transparent (alpha <= %g, %d textured meshes): triangles %d -> %d, vertices %d -> %d\n", alpha,
               textured, triangles, t, vertices, v);
        triangles = t;
        vertices = v;
    }
    for (int sweep = 1; reduce && (sweeps < 0 || sweep <= sweeps); sweep++) {
        for (int i = 0; i < model->workMeshes.size; i++) {
            FXMesh* m = (FXMesh*)model->workMeshes.elements[i];
            if (m != nullptr && !m->ReduceVertices(tolerance)) {
                fxpackError("mesh %d has an index outside its vertices", i);
                return false;
            }
        }
        int t, v;
        localCounts(model, &t, &v);
        printf("sweep %d: triangles %d -> %d, vertices %d -> %d\n", sweep, triangles, t, vertices, v);
        bool changed = t != triangles;
        triangles = t;
        vertices = v;
        if (!changed) {
            break;
        }
    }
    return true;
}

int fxpackReduce(int argc, char** argv) {
    const char* inputs[2] = {nullptr, nullptr};
    int nInputs = 0;
    const char* output = nullptr;
    float tolerance = 0.0f;
    float alpha = 0.0f;
    bool reduce = false;
    bool discard = false;
    int sweeps = -1;
    for (int i = 1; i < argc; i++) {
        const char* option = argv[i];
        bool takesValue = strcmp(option, "-o") == 0 || strcmp(option, "--tolerance") == 0 ||
                          strcmp(option, "--sweeps") == 0 || strcmp(option, "--discard-transparent") == 0;
        if (takesValue && i + 1 >= argc) {
            return fxpackUsageError("%s needs a value", option);
        }
        if (strcmp(option, "-o") == 0) {
            if (output != nullptr) {
                fxpackError("-o given twice");
                return FXPACK_USAGE;
            }
            output = argv[++i];
        } else if (strcmp(option, "--tolerance") == 0) {
            if (!localParseFloat(argv[++i], &tolerance) || tolerance < 0.0f) {
                fxpackError("--tolerance takes an angle in degrees, not '%s'", argv[i]);
                return FXPACK_USAGE;
            }
            reduce = true;
        } else if (strcmp(option, "--sweeps") == 0) {
            if (!fxpackParseInt(argv[++i], &sweeps) || sweeps < 1) {
                fxpackError("--sweeps takes a count of at least 1, not '%s'", argv[i]);
                return FXPACK_USAGE;
            }
        } else if (strcmp(option, "--discard-transparent") == 0) {
            if (!localParseFloat(argv[++i], &alpha)) {
                fxpackError("--discard-transparent takes an alpha from 0 to 1, not '%s'", argv[i]);
                return FXPACK_USAGE;
            }
            discard = true;
        } else if (option[0] == '-' && option[1] != 0) {
            return fxpackUsageError("unknown option '%s'", option);
        } else if (nInputs < 2) {
            inputs[nInputs++] = option;
        } else {
            fxpackError("reduce takes a model file, or a package and an id; '%s' is one too many", option);
            return FXPACK_USAGE;
        }
    }
    if (nInputs == 0 || output == nullptr || (!reduce && !discard)) {
        return fxpackUsageError(nInputs == 0 ? "reduce needs a model file, or a package and an id"
                                : output == nullptr
                                    ? "reduce needs -o FILE"
                                    : "reduce needs --tolerance DEGREES or --discard-transparent ALPHA");
    }
    int id = 0;
    if (nInputs == 2 && !fxpackParseInt(inputs[1], &id)) {
        fxpackError("'%s' is not an id", inputs[1]);
        return FXPACK_USAGE;
    }
    std::string out = localAbsolute(output);
    std::string full = localRealPath(inputs[0]);
    if (full.empty()) {
        return FXPACK_FAILED;
    }
    fxLoadDevil();
    bool ok = false;
    {
        FXPackSession s;
        FXPackage pkg;
        std::string magic;
        bool libraryFound = false;
        const bool entry = nInputs == 2;
        ok = localLoadInput(&s, &pkg, full, inputs[0], entry, id, &magic, &libraryFound);
        if (ok && entry && !s.model.matlibRef.IsEmpty()) {
            fprintf(stderr, "fxpack: warning: the model keeps its library reference '%s', an entry of %s\n",
                    s.model.matlibRef.chars, inputs[0]);
        }
        if (ok) {
            s.model.UpdateMeshes();
            ok = localReduceModel(&s.model, discard, alpha, reduce, tolerance, sweeps) && localSaveModel(&s.model, out);
        }
        // The model's library belongs to the session's environment: let go of it before the package.
        s.model.Destroy();
    }
    fxUnloadDevil();
    return ok ? FXPACK_OK : FXPACK_FAILED;
}
