#ifndef FX_BASE_STREAM_H
#define FX_BASE_STREAM_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Stored records are little-endian fields back to back; these read and write them one field at
// a time, never as a struct image. Missing bytes read as zeros; `complete`, when given, tells
// whether the whole field arrived.

inline uint32_t fxGetLE32(const uint8_t* b) {
    return (uint32_t)b[0] | ((uint32_t)b[1] << 8) | ((uint32_t)b[2] << 16) | ((uint32_t)b[3] << 24);
}

inline void fxPutLE32(uint8_t* b, uint32_t v) {
    b[0] = (uint8_t)v;
    b[1] = (uint8_t)(v >> 8);
    b[2] = (uint8_t)(v >> 16);
    b[3] = (uint8_t)(v >> 24);
}

size_t fxWriteInt32(FILE* f, int32_t v);
size_t fxWriteFloat(FILE* f, float v);
size_t fxWriteDouble(FILE* f, double v);
size_t fxWriteBool(FILE* f, bool v); // one byte, 1 or 0
// An int32 length, then the characters without terminator (length 0 for null).
size_t fxWriteText(FILE* f, const char* text, size_t length);

int32_t fxReadInt32(FILE* f, bool* complete = nullptr);
float fxReadFloat(FILE* f, bool* complete = nullptr);
double fxReadDouble(FILE* f, bool* complete = nullptr);
bool fxReadBool(FILE* f, bool* complete = nullptr); // true only for the byte 1

// Closes a stream that was written to; false when a write or the close itself failed.
bool fxCloseWritten(FILE* f);

// Bytes between the position and the end of the stream, or -1 when the stream cannot tell.
int64_t fxStreamBytesLeft(FILE* f);
// Moves forward over count bytes; streams that cannot seek are read and dropped.
void fxSkipBytes(FILE* f, long count);

#endif
