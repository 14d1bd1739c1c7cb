#include "base/stream.h"

#include <climits>
#include <cstring>

#include "base/other.h"
#include "base/trace.h"

size_t fxWriteInt32(FILE* f, int32_t v) {
    uint8_t b[4];
    fxPutLE32(b, (uint32_t)v);
    return fwrite(b, 1, 4, f);
}

size_t fxWriteFloat(FILE* f, float v) {
    uint32_t u;
    memcpy(&u, &v, 4);
    return fxWriteInt32(f, (int32_t)u);
}

size_t fxWriteDouble(FILE* f, double v) {
    uint64_t u;
    memcpy(&u, &v, 8);
    uint8_t b[8];
    fxPutLE32(b, (uint32_t)u);
    fxPutLE32(b + 4, (uint32_t)(u >> 32));
    return fwrite(b, 1, 8, f);
}

size_t fxWriteBool(FILE* f, bool v) {
    uint8_t b = v ? 1 : 0;
    return fwrite(&b, 1, 1, f);
}

size_t fxWriteText(FILE* f, const char* text, size_t length) {
    if (text == nullptr) {
        length = 0;
    }
    if (length > INT32_MAX) {
        length = INT32_MAX;
    }
    size_t written = fxWriteInt32(f, (int32_t)length);
    if (length > 0) {
        written += fwrite(text, 1, length, f);
    }
    return written;
}

bool fxCloseWritten(FILE* f) {
    bool ok = ferror(f) == 0;
    if (fclose(f) != 0) {
        ok = false;
    }
    return ok;
}

static size_t localRead(FILE* f, uint8_t* b, size_t n, bool* complete) {
    memset(b, 0, n);
    size_t got = fread(b, 1, n, f);
    if (complete != nullptr) {
        *complete = got == n;
    }
    return got;
}

int32_t fxReadInt32(FILE* f, bool* complete) {
    uint8_t b[4];
    localRead(f, b, 4, complete);
    return (int32_t)fxGetLE32(b);
}

float fxReadFloat(FILE* f, bool* complete) {
    uint32_t u = (uint32_t)fxReadInt32(f, complete);
    float v;
    memcpy(&v, &u, 4);
    return v;
}

double fxReadDouble(FILE* f, bool* complete) {
    uint8_t b[8];
    localRead(f, b, 8, complete);
    uint64_t u = (uint64_t)fxGetLE32(b) | ((uint64_t)fxGetLE32(b + 4) << 32);
    double v;
    memcpy(&v, &u, 8);
    return v;
}

bool fxReadBool(FILE* f, bool* complete) {
    uint8_t b;
    localRead(f, &b, 1, complete);
    return b == 1;
}

int64_t fxStreamBytesLeft(FILE* f) {
    long pos = ftell(f);
    if (pos < 0) {
        return -1;
    }
    if (fseek(f, 0, SEEK_END) != 0) {
        return -1;
    }
    long end = ftell(f);
    if (fseek(f, pos, SEEK_SET) != 0) {
        err("fxStreamBytesLeft: cannot return to offset %ld\n", pos);
        return -1;
    }
    if (end < pos) {
        return -1;
    }
    return (int64_t)end - (int64_t)pos;
}

void fxSkipBytes(FILE* f, long count) {
    if (count <= 0) {
        return;
    }
    if (fxStreamSeekable(f) && fseek(f, count, SEEK_CUR) == 0) {
        return;
    }
    char scratch[256];
    while (count > 0) {
        size_t want = count < (long)sizeof(scratch) ? (size_t)count : sizeof(scratch);
        size_t got = fread(scratch, 1, want, f);
        if (got == 0) {
            return;
        }
        count -= (long)got;
    }
}
