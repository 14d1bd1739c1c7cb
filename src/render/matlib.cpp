#include "render/matlib.h"

#include <climits>
#include <cstdlib>
#include <cstring>

#include "io/package.h"
#include "io/textreader.h"
#include "base/env.h"
#include "base/paths.h"
#include "base/stream.h"
#include "base/trace.h"
#include "render/material.h"

// Smallest complete material record: two empty names, four colours and the shininess. Only the
// last record of a stored library may be shorter, so this bounds how many records can follow.
#define FXMATERIAL_MIN_RECORD (4 + 4 + 4 * 16 + 4)

// ---------------------------------------------------------------------------------------------
// Stored library

// The stored count, held to what the remaining bytes can carry; -1 bytes: the stream cannot tell.
static int localBoundCount(int32_t stored, int64_t bytesLeft, const char* what) {
    if (stored < 0) {
        err("FXMatlib::%s -> negative material count %d\n", what, (int)stored);
        return 0;
    }
    if (bytesLeft < 0) {
        return (int)stored;
    }
    int64_t most = bytesLeft == 0 ? 0 : bytesLeft / FXMATERIAL_MIN_RECORD + 1;
    if ((int64_t)stored > most) {
        err("FXMatlib::%s -> %d materials announced, room for %lld at most\n", what, (int)stored, (long long)most);
        return (int)most;
    }
    return (int)stored;
}

// ---------------------------------------------------------------------------------------------
// MTL import

static bool localReadText(const char* path, FXTextReader* t) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) {
        return false;
    }
    bool ok = t->Load(f);
    fclose(f);
    if (!ok) {
        err("FXMatlib::LoadFromMtl -> out of memory reading %s\n", path);
    }
    return ok;
}

// "%f %f %f" into R, G, B: stops at the first value that is not a number.
static void localReadRGB(FXTextReader* t, float* c) {
    for (int i = 0; i < 3; i++) {
        if (!t->ReadFloat(&c[i])) {
            return;
        }
    }
}

// One pass over the statements. Both passes read the text the same way, so the counting pass
// (lib null) finds exactly the "newmtl" statements the filling pass will meet, wherever they
// stand. The counting pass reports what it rejects and answers the number of materials.
static int localParseMtl(FXTextReader* t, FXMatlib* lib, int count, const char* path) {
    const bool counting = lib == nullptr;
    char tok[FXMTL_LINE];
    char line[FXMTL_LINE];
    float scratch[4];
    int found = 1;
    int current = 0;
    t->pos = 0;
    bool cut = false;
    while (t->NextToken(tok, FXMTL_LINE, &cut)) {
        FXMaterial* m = counting ? nullptr : (FXMaterial*)lib->materials.elements[current];
        if (cut) {
            if (counting) {
                err("FXMatlib::LoadFromMtl -> token longer than %d characters in lib:%s\n", FXMTL_LINE - 1, path);
            }
            t->SkipLine();
            continue;
        }
        if (strncmp(tok, "newmtl", 6) == 0) {
            bool lineCut = t->RestOfLine(line, FXMTL_LINE);
            if (counting) {
                if (lineCut) {
                    err("FXMatlib::LoadFromMtl -> material name cut to %d characters in lib:%s\n", FXMTL_LINE - 1,
                        path);
                }
                found++;
                continue;
            }
            if (current + 1 >= count) {
                // Cannot happen while both passes agree; never step past the counted materials.
                err("FXMatlib::LoadFromMtl -> uncounted material in lib:%s\n", path);
                continue;
            }
            current++;
            m = (FXMaterial*)lib->materials.elements[current];
            char word[FXMTL_LINE];
            fxFirstWord(line, word, FXMTL_LINE);
            m->name.Set(word);
            m->name.TrimSpaces();
            continue;
        }
        if (strncmp(tok, "map_Kd", 6) == 0) {
            bool lineCut = t->RestOfLine(line, FXMTL_LINE);
            if (counting) {
                if (lineCut) {
                    err("FXMatlib::LoadFromMtl -> texture name cut to %d characters in lib:%s\n", FXMTL_LINE - 1, path);
                }
                continue;
            }
            FXStr file(line);
            file.TrimSpaces();
            // A texture that cannot be loaded leaves the material untextured; the import goes on.
            m->LoadTexture(file.chars);
            m->texFile = file;
            continue;
        }
        switch (tok[0]) {
            case 'n':
                if (counting) {
                    err("FXMatlib::LoadFromMtl -> unknown token(0): %s  in lib:%s\n", tok, path);
                }
                t->SkipLine();
                break;
            case 'N':
                if (tok[1] == 's') {
                    float v;
                    if (t->ReadFloat(&v) && !counting) {
                        // MTL's 0 ... 100 becomes OpenGL's 0 ... 128.
                        m->shininess = v * 1.28f;
                    }
                } else if (tok[1] == 'i') {
                    t->SkipLine();
                }
                break;
            case 'K':
                if (tok[1] == 'a') {
                    localReadRGB(t, counting ? scratch : m->ambient);
                } else if (tok[1] == 'd') {
                    localReadRGB(t, counting ? scratch : m->diffuse);
                } else if (tok[1] == 's') {
                    localReadRGB(t, counting ? scratch : m->specular);
                } else {
                    t->SkipLine();
                }
                break;
            case 'd':
                t->ReadFloat(counting ? scratch : &m->diffuse[3]);
                break;
            default:
                t->SkipLine();
                break;
        }
    }
    return found;
}

// ---------------------------------------------------------------------------------------------
// FXMatlib

FXMatlib::FXMatlib() : fallback(nullptr), releaseDeletes(true), useCount(1) {}

FXMatlib::~FXMatlib() {
    Destroy();
}

int FXMatlib::AddMaterial(FXMaterial* m) {
    if (m == nullptr) {
        return -1;
    }
    int pos = materials.Findpos(m);
    if (pos >= 0) {
        return pos;
    }
    materials.Push(m);
    return materials.size - 1;
}

void FXMatlib::RemoveMaterial(FXMaterial* m) {
    materials.Remove(m);
}

FXMaterial* FXMatlib::FindMaterial(const char* materialName) {
    if (fallback != nullptr && fallback != this) {
        FXMaterial* m = fallback->FindMaterial(materialName);
        if (m != nullptr) {
            return m;
        }
    }
    for (int i = 0; i < materials.size; i++) {
        FXMaterial* m = (FXMaterial*)materials.elements[i];
        if (m != nullptr && m->name.Compare(materialName)) {
            return m;
        }
    }
    return nullptr;
}

void FXMatlib::Destroy() {
    for (int i = 0; i < materials.size; i++) {
        FXMaterial* m = (FXMaterial*)materials.elements[i];
        if (m != nullptr && m->libOwned) {
            m->Destroy();
            delete m;
        }
    }
    materials.DestroyBuf();
}

void FXMatlib::Release() {
    useCount--;
    if (!releaseDeletes || useCount > 0) {
        return;
    }
    Destroy();
    if (fxglobalEnv != nullptr) {
        fxglobalEnv->RemoveMatlib(this);
    }
    delete this;
}

bool FXMatlib::LoadFromMtl(const char* path) {
    Destroy();
    if (path == nullptr || path[0] == 0) {
        return false;
    }
    FXTextReader t;
    if (!localReadText(path, &t)) {
        return false;
    }
    name.Set(path);
    int count = localParseMtl(&t, nullptr, 0, path);
    // Material 0 is unnamed: it takes whatever comes before the first "newmtl".
    materials.Realloc(count);
    for (int i = 0; i < count; i++) {
        FXMaterial* m = new FXMaterial();
        m->libOwned = true;
        m->SetDefSpecular(1.0f);
        materials.Push(m);
    }
    localParseMtl(&t, this, count, path);
    return true;
}

bool FXMatlib::Load(const char* path) {
    FILE* f = path != nullptr ? fopen(path, "rb") : nullptr;
    if (f == nullptr) {
        err("FXMatlib::Load -> cannot open %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    name.Load(f);
    int32_t stored = fxReadInt32(f);
    int64_t left = fxStreamBytesLeft(f);
    int n = localBoundCount(stored, left, "Load");
    if (left >= 0) {
        materials.Realloc(materials.size + n);
    }
    for (int i = 0; i < n; i++) {
        int c = getc(f);
        if (c == EOF) {
            err("FXMatlib::Load -> %s ends after %d of %d materials\n", path, i, n);
            break;
        }
        ungetc(c, f);
        FXMaterial* m = new FXMaterial();
        m->Load(f);
        materials.Push(m);
    }
    fclose(f);
    return true;
}

bool FXMatlib::LoadC(FXPackage* pkg, const char* idText) {
    int id = 0;
    if (pkg == nullptr || !fxParseId(idText, &id)) {
        return false;
    }
    FXPackageData* data = pkg->GetDataPtr(id);
    if (data == nullptr) {
        return false;
    }
    data->ReadString(&name);
    int32_t stored = data->ReadInt();
    int n = localBoundCount(stored, data->remaining, "LoadC");
    materials.Realloc(materials.size + n);
    for (int i = 0; i < n && data->remaining > 0; i++) {
        FXMaterial* m = new FXMaterial();
        m->LoadC(pkg, data);
        materials.Push(m);
    }
    return true;
}

bool FXMatlib::Save(const char* path) {
    FILE* f = path != nullptr ? fopen(path, "wb") : nullptr;
    if (f == nullptr) {
        err("FXMatlib::Save -> cannot open %s\n", path != nullptr ? path : "(null)");
        return false;
    }
    name.Save(f);
    fxWriteInt32(f, materials.size);
    for (int i = 0; i < materials.size; i++) {
        ((FXMaterial*)materials.elements[i])->Save(f);
    }
    bool ok = fxCloseWritten(f);
    if (!ok) {
        err("FXMatlib::Save -> writing %s failed\n", path);
    }
    return ok;
}

void FXMatlib::Compile(FXPackage* pkg) {
    if (pkg == nullptr) {
        return;
    }
    for (int i = 0; i < materials.size; i++) {
        FXMaterial* m = (FXMaterial*)materials.elements[i];
        if (m == nullptr || m->texFile.IsEmpty()) {
            continue;
        }
        const char* full = fxCombinePaths(pkg->workFolder.chars, m->texFile.chars);
        if (full == nullptr) {
            err("FXMatlib::Compile -> no path for texture %s of %s\n", m->texFile.chars, name.chars);
            continue;
        }
        FXStr entry(full);
        pkg->AddDataFile1(&entry);
        m->texFile = entry;
    }
}
