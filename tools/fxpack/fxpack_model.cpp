// fxpack model, fxpack info, and the OBJ entries of fxpack build.

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "models/model.h"
#include "io/package.h"
#include "base/env.h"
#include "base/outfile.h"
#include "base/paths.h"
#include "base/stream.h"
#include "base/thread.h"
#include "fxpack.h"
#include "fxpack_objscan.h"
#include "geometry/mesh.h"
#include "render/canvas.h"
#include "render/material.h"
#include "render/headless.h"
#include "render/matlib.h"

namespace {

// Sets up the tool's environment for one model and takes it down again, model first.
class FXPackSession {
public:
    FXHeadlessEnv env; // no device: textures count as uploaded, nothing is drawn
    FXModel model;
    std::string startFolder;

    FXPackSession() {
        if (!fxGetCurrentFolder(&startFolder)) {
            startFolder = ".";
        }
        fxSetEnv(&env);
    }
    ~FXPackSession() {
        model.Destroy();
        fxSetEnv(nullptr);
        if (!fxSetCurrentFolder(startFolder.c_str())) {
            fxpackError("cannot return to %s: %s", startFolder.c_str(), strerror(errno));
        }
    }
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Paths

bool fxpackIsObj(const std::string& path) {
    return path.size() > 4 && fxpackSameNoCase(path.c_str() + path.size() - 4, ".obj", 4);
}

// The absolute form of an existing input; empty, with a message, when it cannot be read.
static std::string localRealPath(const std::string& path) {
    if (!fxpackCheckInput(path.c_str())) {
        return std::string();
    }
    std::string real;
    if (!fxGetRealPath(path.c_str(), &real)) {
        fxpackError("cannot read %s: %s", path.c_str(), strerror(errno));
        return std::string();
    }
    return real;
}

// ---------------------------------------------------------------------------------------------
// Import

// v := 1 - v on every loaded vertex, for files whose texture rows run bottom first.
static void localFlipV(FXModel* model) {
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.elements[i];
        for (int k = 0; m != nullptr && k < m->vertexCount; k++) {
            m->vertices[k].texCoord[1] = 1.0f - m->vertices[k].texCoord[1];
        }
    }
}

// A problem in the input that the command can go past: a warning, or under --strict an error
// that fails the import.
static void localProblem(bool* ok, const char* format, ...) FX_PRINTF(2, 3);
static void localProblem(bool* ok, const char* format, ...) {
    char text[2048];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    if (fxpackOptions.strict) {
        fxpackError("%s", text);
        *ok = false;
    } else {
        fxpackWarning("%s", text);
    }
}

static void localReleaseLibrary(FXModel* model) {
    if (model->matlib != nullptr && fxglobalEnv != nullptr && fxglobalEnv->matlibs.Findpos(model->matlib) >= 0) {
        model->matlib->Release();
    }
    model->matlib = nullptr;
    model->matlibRef.Clear();
}

static void localCount(void* scan) {
    ((FXPackObjScan*)scan)->Count();
}

// Reads an OBJ file (its library and textures relative to its folder, as the engine reads them)
// into the session's model, then sums up what was skipped or missing. The imported meshes become
// the working group, v flipped first with flipV. forBuild: a missing library or texture is
// dropped, so the package holds nothing empty.
static bool localImport(FXPackSession* s, const std::string& objPath, bool forBuild, bool flipV = false) {
    const char* obj = objPath.c_str();
    std::string full = localRealPath(objPath);
    if (full.empty()) {
        return false;
    }
    fxpackAddInput(full.c_str());
    FXPackObjScan scan;
    if (!scan.Read(full)) {
        fxpackError("cannot read %s: %s", objPath.c_str(), strerror(errno));
        return false;
    }
    if (scan.binary) {
        fxpackError("%s is not an OBJ file: it holds binary data", objPath.c_str());
        return false;
    }
    std::string folder = fxFolderOfPath(full);
    if (!fxSetCurrentFolder(folder.c_str())) {
        fxpackError("cannot read %s: cannot enter its folder: %s", objPath.c_str(), strerror(errno));
        return false;
    }
    std::vector<std::string> traces;
    fxpackProgress("importing %s ...", obj);
    // The scan counts on a second core while the import parses; both only read the text.
    tagFXThread* counting = fxCreateThread(localCount, &scan);
    if (counting == nullptr) {
        scan.Count();
    }
    fxpackBeginCapture(&traces, false);
    // The import parses the text the scan read. Where reading as text changes line ends it reads
    // the file itself, as it always has.
#ifdef _WIN32
    const char* text = nullptr;
#else
    const char* text = scan.text;
#endif
    bool imported = s->model.ImportObj(fxLeafOfPath(full).c_str(), text);
    if (counting != nullptr) {
        fxWaitThread(counting, 100000.0);
        fxDestroyThread(counting);
    }
    scan.Release();
    fxpackEndCapture();
    if (!imported) {
        fxpackError("cannot read %s%s%s", objPath.c_str(), traces.empty() ? "" : ": ",
                    traces.empty() ? "" : traces[0].c_str());
        return false;
    }

    bool ok = true;
    FXMatlib* lib = s->model.matlib;
    bool libMissing = false;
    if (!s->model.matlibRef.IsEmpty()) {
        std::string ref = s->model.matlibRef.chars;
        if (fxGetFileKind(ref.c_str()) != FXFILE_REGULAR) {
            libMissing = true;
            localProblem(&ok, "%s: material library %s cannot be read: %s", obj, ref.c_str(),
                         fxGetFileKind(ref.c_str()) == FXFILE_FOLDER ? "it is a folder" : strerror(ENOENT));
            if (forBuild) {
                localReleaseLibrary(&s->model);
                lib = nullptr;
            }
        } else {
            fxpackAddInput(ref.c_str());
        }
    }
    for (const auto& use : scan.usemtls) {
        if (!libMissing && (lib == nullptr || lib->FindMaterial(use.first.c_str()) == nullptr)) {
            scan.Note(FXOBJSCAN_UNKNOWN_MATERIAL, use.second);
        }
    }
    for (int i = 0; lib != nullptr && i < lib->materials.size; i++) {
        FXMaterial* m = (FXMaterial*)lib->materials.elements[i];
        if (m == nullptr || m->texFile.IsEmpty()) {
            continue;
        }
        if (m->hasTexture) {
            fxpackAddInput(m->texFile.chars);
            continue;
        }
        localProblem(&ok, "%s: texture %s of material '%s' cannot be read", obj, m->texFile.chars, m->name.chars);
        if (forBuild) {
            m->texFile.Clear();
        }
    }

    for (int c = 0; c < FXOBJSCAN_CAUSES; c++) {
        if (scan.causes[c].count == 0) {
            continue;
        }
        if (c == FXOBJSCAN_UNUSED) {
            fxpackWarning("%s: %d %s (%s)", obj, scan.causes[c].count, FXPackObjScan::CauseText(c),
                          scan.Lines(c).c_str());
        } else {
            localProblem(&ok, "%s: %d %s (%s)", obj, scan.causes[c].count, FXPackObjScan::CauseText(c),
                         scan.Lines(c).c_str());
        }
    }
    // The scan should account for every statement the importer left out; say so when it did not.
    if (scan.Skipped() == 0 && scan.causes[FXOBJSCAN_UNUSED].count == 0 && ok && !traces.empty() && !libMissing) {
        fxpackWarning("%s: the import reported %zu problems, the first: %s", obj, traces.size(), traces[0].c_str());
    }
    if (flipV) {
        localFlipV(&s->model);
    }
    // Only saved or compiled from here: the working group needs no copy of its own.
    s->model.TakeLoadedMeshes();
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

// Saves the working model into the output's temporary file and moves it into place.
static bool localSaveModel(FXModel* model, FXOutFile* out) {
    if (!model->Save(out->GetTmpPath())) {
        fxpackError("cannot write %s: %s", out->GetPath(), strerror(errno != 0 ? errno : EIO));
        out->Discard();
        return false;
    }
    return fxpackCommitOutput(out);
}

int fxpackModel(int argc, char** argv) {
    const char* input = nullptr;
    const char* output = nullptr;
    bool flipV = false;
    for (int i = 1; i < argc; i++) {
        if (fxpackCommonOption(argv[i])) {
            continue;
        }
        if (strcmp(argv[i], "-o") == 0) {
            if (i + 1 >= argc || output != nullptr) {
                return fxpackUsageError("model", output != nullptr ? "-o given twice" : "-o needs a file name");
            }
            output = argv[++i];
        } else if (strcmp(argv[i], "--flip-v") == 0) {
            flipV = true;
        } else if (argv[i][0] == '-' && argv[i][1] != 0) {
            return fxpackUsageError("model", "unknown option '%s'", argv[i]);
        } else if (input == nullptr) {
            input = argv[i];
        } else {
            return fxpackUsageError("model", "model takes one OBJ file, '%s' is one too many", argv[i]);
        }
    }
    if (input == nullptr || output == nullptr) {
        return fxpackUsageError("model", input == nullptr ? "model needs an OBJ file" : "model needs -o FILE");
    }
    if (!fxpackCheckInput(input)) {
        return FXPACK_FAILED;
    }
    fxpackAddInput(input);
    FXOutFile out;
    if (!fxpackCreateOutput(&out, output)) {
        return FXPACK_FAILED;
    }
    fxLoadDevil();
    bool ok;
    {
        FXPackSession s;
        ok = localImport(&s, input, false, flipV);
        if (ok && localTriangles(&s.model) == 0) {
            fxpackError("%s holds no faces: there is nothing to make a model of", input);
            ok = false;
        }
        ok = ok && fxpackCheckOutputAgain(&out) && localSaveModel(&s.model, &out);
        if (ok) {
            fxpackReport("wrote %s: %d meshes, %d triangles", strcmp(output, "-") == 0 ? "standard output" : output,
                         s.model.workMeshes.size, localTriangles(&s.model));
        }
    }
    fxUnloadDevil();
    return ok ? FXPACK_OK : FXPACK_FAILED;
}

// ---------------------------------------------------------------------------------------------
// Info

// The magic of a stored model: "xm02", "xm03", or whatever else the first string holds.
// A model begins with its format as a stored string of four letters. Read here without the
// string loader, which would trace the length it finds at the start of any other file.
static std::string localFileMagic(const char* path) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        return std::string();
    }
    char magic[5] = {};
    bool four = fxReadInt32(f) == 4 && fread(magic, 1, 4, f) == 4;
    fclose(f);
    return four ? std::string(magic) : std::string();
}

static const char* localPassName(int renderClass) {
    switch (renderClass) {
        case 0:
            return "solid";
        case 1:
            return "blended";
        case 2:
            return "drawn last";
        default:
            return "unknown pass";
    }
}

static void localPrintModel(FXModel* model, const std::string& magic, bool libraryFound) {
    printf("format %s\n", magic.c_str());
    if (!model->name.IsEmpty()) {
        printf("name %s\n", model->name.chars);
    }
    if (model->matlibRef.IsEmpty()) {
        printf("library none\n");
    } else if (!libraryFound || model->matlib == nullptr) {
        printf("library %s (not found)\n", model->matlibRef.chars);
    } else {
        printf("library %s (%d materials)\n", model->matlibRef.chars, model->matlib->materials.size);
    }
    int vertices = 0, triangles = 0, passes[4] = {0, 0, 0, 0}, missing = 0;
    std::vector<std::string> used;
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.elements[i];
        vertices += m->vertexCount;
        triangles += m->indexCount / 3;
        passes[m->renderClass >= 0 && m->renderClass <= 2 ? m->renderClass : 3]++;
        if (m->materialName.IsEmpty()) {
            continue;
        }
        bool seen = false;
        for (const std::string& u : used) {
            seen = seen || u == m->materialName.chars;
        }
        if (!seen) {
            used.push_back(m->materialName.chars);
            missing += m->material == nullptr ? 1 : 0;
        }
    }
    printf("meshes %d\n", model->loadedMeshes.size);
    printf("materials used %zu", used.size());
    if (missing > 0) {
        printf(" (%d not in the library)", missing);
    }
    printf("\nvertices %d\ntriangles %d\n", vertices, triangles);
    std::string byPass;
    for (int c = 0; c < 4; c++) {
        if (passes[c] > 0) {
            byPass += (byPass.empty() ? "" : ", ") + std::to_string(passes[c]) + " " + localPassName(c);
        }
    }
    if (!byPass.empty()) {
        printf("meshes by drawing pass: %s\n", byPass.c_str());
    }
    for (int i = 0; i < model->loadedMeshes.size; i++) {
        FXMesh* m = (FXMesh*)model->loadedMeshes.elements[i];
        std::string material = m->materialName.IsEmpty() ? std::string("(no material)") : m->materialName.chars;
        if (!m->materialName.IsEmpty() && m->material == nullptr) {
            material += " (not in the library)";
        }
        printf("mesh %d: %s, %d vertices, %d triangles, %s\n", i, material.c_str(), m->vertexCount, m->indexCount / 3,
               localPassName(m->renderClass));
    }
}

// Loads the model a command names: a model file, whose library path is relative to its folder
// as the show reads it, or the model entry id of the package at full. shown is the name the
// messages use. magic receives the stored format, libraryFound whether the library the model
// names is there. False, with a message, when there is no such model or it is damaged.
static bool localLoadInput(FXPackSession* s, FXPackage* pkg, const std::string& full, const char* shown, bool entry,
                           int id, std::string* magic, bool* libraryFound) {
    std::vector<std::string> traces;
    bool loaded;
    if (!entry) {
        fxpackAddInput(full.c_str());
        *magic = localFileMagic(full.c_str());
        if (*magic != "xm02" && *magic != "xm03") {
            fxpackError("%s is not a model", shown);
            return false;
        }
        if (!fxSetCurrentFolder(fxFolderOfPath(full).c_str())) {
            fxpackError("cannot read %s: cannot enter its folder: %s", shown, strerror(errno));
            return false;
        }
        fxpackBeginCapture(&traces, true);
        loaded = s->model.Load(fxLeafOfPath(full).c_str());
        fxpackEndCapture();
        *libraryFound = fxPathExists(s->model.matlibRef.chars);
    } else {
        if (!fxpackLoadPackage(pkg, full.c_str(), true)) {
            return false;
        }
        FXPackageData* data = fxpackGetEntry(pkg, shown, id);
        if (data == nullptr) {
            return false;
        }
        FXStr stored;
        data->ReadString(&stored);
        *magic = stored.chars;
        if (*magic != "xm02" && *magic != "xm03") {
            fxpackError("entry %d of %s is not a model", id, shown);
            return false;
        }
        fxpackBeginCapture(&traces, true);
        loaded = s->model.LoadCN(pkg, id);
        fxpackEndCapture();
        int libId = 0;
        *libraryFound = fxpackParseInt(s->model.matlibRef.chars, &libId) && pkg->FindEntry(libId) >= 0;
    }
    // Readers take short input as zeros; the traces they leave say the model is cut or damaged.
    if (!loaded || !traces.empty()) {
        if (entry) {
            fxpackError("entry %d of %s is a damaged model", id, shown);
        } else {
            fxpackError("%s is a damaged model (cut short?)", shown);
        }
        return false;
    }
    return true;
}

static bool localParseInputs(const char* command, int nInputs, const char* const* inputs, int* id) {
    if (nInputs == 2 && !fxpackParseInt(inputs[1], id)) {
        fxpackUsageError(command, "'%s' is not an id", inputs[1]);
        return false;
    }
    return true;
}

int fxpackInfo(int argc, char** argv) {
    const char* inputs[2] = {nullptr, nullptr};
    int nInputs = 0;
    if (fxpackPlainArgs("info", "a model file, or a package and an id", argc, argv, 2, inputs, &nInputs) != FXPACK_OK) {
        return FXPACK_USAGE;
    }
    if (nInputs == 0) {
        return fxpackUsageError("info", "info needs a model file, or a package and an id");
    }
    int id = 0;
    if (!localParseInputs("info", nInputs, inputs, &id)) {
        return FXPACK_USAGE;
    }
    FXPackSession s;
    std::string magic;
    bool libraryFound = false;
    FXPackage pkg;
    std::string full = localRealPath(inputs[0]);
    if (full.empty() || !localLoadInput(&s, &pkg, full, inputs[0], nInputs == 2, id, &magic, &libraryFound)) {
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
    std::string objFolder = fxFolderOfPath(objFull);
    FXPackSession s;
    if (!localImport(&s, objPath, true)) {
        return false;
    }
    if (localTriangles(&s.model) == 0) {
        fxpackError("%s holds no faces: there is nothing to make a model of", objPath.c_str());
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
    // The library the compiler writes into the work folder is registered for clean-up with no
    // moment between; the import above stays open to signals.
    fxHoldCleanupSignals(true);
    bool compiled = s.model.Compile(pkg);
    for (int k = 0; k < pkg->tmpFiles.size; k++) {
        fxAddCleanupPath(pkg->tmpFiles.elements[k], false);
    }
    fxHoldCleanupSignals(false);
    if (!compiled) {
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
    fxAddCleanupPath(modelPath.c_str(), false);
    if (!s.model.Save(modelPath.c_str())) {
        fxpackError("cannot write the model of %s to %s: %s", objPath.c_str(), modelPath.c_str(), strerror(errno));
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Reduce

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
    fxpackReport("model: %d triangles, %d vertices", triangles, vertices);
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
        fxpackReport("transparent (alpha <= %g, %d textured meshes): triangles %d -> %d, vertices %d -> %d", alpha,
                     textured, triangles, t, vertices, v);
        triangles = t;
        vertices = v;
    }
    for (int sweep = 1; reduce && (sweeps < 0 || sweep <= sweeps); sweep++) {
        fxpackProgress("sweep %d: reducing %d triangles ...", sweep, triangles);
        for (int i = 0; i < model->workMeshes.size; i++) {
            FXMesh* m = (FXMesh*)model->workMeshes.elements[i];
            if (m != nullptr && !m->ReduceVertices(tolerance)) {
                fxpackError("mesh %d has an index outside its vertices", i);
                return false;
            }
        }
        int t, v;
        localCounts(model, &t, &v);
        fxpackReport("sweep %d: triangles %d -> %d, vertices %d -> %d", sweep, triangles, t, vertices, v);
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
        if (fxpackCommonOption(option)) {
            continue;
        }
        bool takesValue = strcmp(option, "-o") == 0 || strcmp(option, "--tolerance") == 0 ||
                          strcmp(option, "--sweeps") == 0 || strcmp(option, "--discard-transparent") == 0;
        if (takesValue && i + 1 >= argc) {
            return fxpackUsageError("reduce", "%s needs a value", option);
        }
        if (strcmp(option, "-o") == 0) {
            if (output != nullptr) {
                return fxpackUsageError("reduce", "-o given twice");
            }
            output = argv[++i];
        } else if (strcmp(option, "--tolerance") == 0) {
            if (!fxpackParseFloat(argv[++i], 0.0f, 180.0f, &tolerance)) {
                return fxpackUsageError("reduce", "--tolerance takes an angle from 0 to 180 degrees, not '%s'",
                                        argv[i]);
            }
            reduce = true;
        } else if (strcmp(option, "--sweeps") == 0) {
            if (!fxpackParseInt(argv[++i], &sweeps) || sweeps < 1) {
                return fxpackUsageError("reduce", "--sweeps takes a count of at least 1, not '%s'", argv[i]);
            }
        } else if (strcmp(option, "--discard-transparent") == 0) {
            if (!fxpackParseFloat(argv[++i], 0.0f, 1.0f, &alpha)) {
                return fxpackUsageError("reduce", "--discard-transparent takes an alpha from 0 to 1, not '%s'",
                                        argv[i]);
            }
            discard = true;
        } else if (option[0] == '-' && option[1] != 0) {
            return fxpackUsageError("reduce", "unknown option '%s'", option);
        } else if (nInputs < 2) {
            inputs[nInputs++] = option;
        } else {
            return fxpackUsageError("reduce", "reduce takes a model file, or a package and an id; '%s' is one too many",
                                    option);
        }
    }
    if (nInputs == 0 || output == nullptr || (!reduce && !discard)) {
        return fxpackUsageError("reduce", nInputs == 0 ? "reduce needs a model file, or a package and an id"
                                          : output == nullptr
                                              ? "reduce needs -o FILE"
                                              : "reduce needs --tolerance DEGREES or --discard-transparent ALPHA");
    }
    int id = 0;
    if (!localParseInputs("reduce", nInputs, inputs, &id)) {
        return FXPACK_USAGE;
    }
    std::string full = localRealPath(inputs[0]);
    if (full.empty()) {
        return FXPACK_FAILED;
    }
    fxpackAddInput(full.c_str());
    // The output is checked before the work, which can take minutes.
    FXOutFile out;
    if (!fxpackCreateOutput(&out, output)) {
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
            fxpackWarning("the model keeps its library reference '%s', an entry of %s", s.model.matlibRef.chars,
                          inputs[0]);
        }
        if (ok) {
            s.model.UpdateMeshes();
            ok =
                localReduceModel(&s.model, discard, alpha, reduce, tolerance, sweeps) && localSaveModel(&s.model, &out);
            if (ok) {
                fxpackReport("wrote %s: %d meshes, %d triangles", strcmp(output, "-") == 0 ? "standard output" : output,
                             s.model.workMeshes.size, localTriangles(&s.model));
            }
        }
        // The model's library belongs to the session's environment: let go of it before the package.
        s.model.Destroy();
    }
    fxUnloadDevil();
    return ok ? FXPACK_OK : FXPACK_FAILED;
}
