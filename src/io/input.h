#ifndef FX_IO_INPUT_H
#define FX_IO_INPUT_H

#include <cstdint>
#include <cstdio>

class FXPackage;
class FXPackageData;
class FXStr;

// Where a stored record is read from: a file stream or a package entry's reader. The loaders of
// both suffix forms (none and C/CN) read through one of these, so each record has one reader.
// Reads past the end answer zeros, as both sources do.
class FXInput {
public:
    FILE* f;
    FXPackage* package; // the entry's package, for loaders that follow references into it
    FXPackageData* data;

    explicit FXInput(FILE* f);
    FXInput(FXPackage* package, FXPackageData* data);

    bool IsFile() const { return f != nullptr; }
    // False when neither source was given.
    bool IsOpen() const { return f != nullptr || data != nullptr; }

    int ReadInt();
    float ReadFloat();
    // Stored form of FXStr.
    void ReadString(FXStr* s);
    // All n bytes or false (a package entry then reads nothing).
    bool ReadBytes(void* dst, int n);
    // Bytes still held, or -1 when a stream cannot tell.
    int64_t BytesLeft() const;
    // Whether anything is left to read; a stream that cannot tell is asked for one byte.
    bool More();
};

#endif
