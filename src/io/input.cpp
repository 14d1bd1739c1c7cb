#include "io/input.h"

#include "base/stream.h"
#include "base/strings.h"
#include "io/package.h"

FXInput::FXInput(FILE* f) : f(f), package(nullptr), data(nullptr) {}

FXInput::FXInput(FXPackage* package, FXPackageData* data) : f(nullptr), package(package), data(data) {}

int FXInput::ReadInt() {
    return f != nullptr ? fxReadInt32(f) : data->ReadInt();
}

float FXInput::ReadFloat() {
    return f != nullptr ? fxReadFloat(f) : data->ReadFloat();
}

void FXInput::ReadString(FXStr* s) {
    if (f != nullptr) {
        s->Load(f);
    } else {
        data->ReadString(s);
    }
}

bool FXInput::ReadBytes(void* dst, int n) {
    if (f != nullptr) {
        return fread(dst, 1, (size_t)n, f) == (size_t)n;
    }
    return data->ReadCopyBlc(dst, n) != nullptr;
}

int64_t FXInput::BytesLeft() const {
    return f != nullptr ? fxStreamBytesLeft(f) : (int64_t)data->remaining;
}

bool FXInput::More() {
    if (f == nullptr) {
        return data->remaining > 0;
    }
    int c = getc(f);
    if (c == EOF) {
        return false;
    }
    ungetc(c, f);
    return true;
}
